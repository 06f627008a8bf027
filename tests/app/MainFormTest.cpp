#include "app/AboutText.h"
#include "MainFormFixture.h"
#include "controls/TMemo.h"
#include "controls/TMenuItem.h"
#include "controls/TPanel.h"
#include "project/TProject.h"
#include "widgets/TSplitter.h"
#include "core/TTimer.h"
#include "app/preview/TWebBrowser.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QWebEnginePage>

namespace {

class MainForm : public MainFormFixture {
protected:
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(form->Memo1, Qt::Key(key), modifiers);
    }
};

} // namespace

TEST_F(MainForm, LayoutAsDesigned)
{
    startWith({});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->Caption(), "Tamsel");
    EXPECT_EQ(form->ClientArea()->size(), QSize(427, 251));
    EXPECT_EQ(form->Memo1->geometry(), QRect(0, 0, 427, 121));
    EXPECT_EQ(form->Splitter1->geometry(), QRect(0, 121, 427, 3));
    EXPECT_EQ(form->Panel1->geometry(), QRect(0, 124, 427, 127));
    EXPECT_EQ(form->WebBrowser1->geometry(), QRect(0, 0, 427, 127)) << "the browser covers the panel";

    form->resize(600, 500);
    TestSupport::waitUntil([&] { return form->ClientArea()->width() == 600; });
    EXPECT_EQ(form->Memo1->height(), 121) << "the editor keeps its height";
    EXPECT_EQ(form->WebBrowser1->geometry(), QRect(QPoint(0, 0), form->Panel1->size()));
}

TEST_F(MainForm, MenuAsDesigned)
{
    startWith({});
    const QList<QAction*> bar = form->menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->text(), "&File");
    EXPECT_EQ(bar[1]->text(), "&Update");
    EXPECT_EQ(bar[2]->text(), "&About");
    QStringList update;
    for (QAction* action : bar[1]->menu()->actions())
        update << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(update, QStringList({ "&Now\tIns", "-", "&Immediately\tCtrl+Ins", "Every 1&/2 Second\tCtrl+/",
                          "Every &1 Second\tCtrl+1", "Every &2 Seconds\tCtrl+2", "Every &5 Seconds\tCtrl+5",
                          "Every 1&0 Seconds\tCtrl+0", "&Manually Only\tCtrl+Del" }));
    EXPECT_TRUE(bar[1]->menu()->actions()[3]->isChecked());
    QStringList file;
    for (QAction* action : bar[0]->menu()->actions())
        file << action->text();
    EXPECT_EQ(file, QStringList({ "&History...\tShift+Ctrl+H", "&Minimize\tEsc", "E&xit" }));
}

TEST_F(MainForm, MenuKeysActBeforeTheEditorSeesThem)
{
    startWith(QStringLiteral("x^2"));
    form->show();
    form->Memo1->setFocus();
    form->Memo1->moveCursor(QTextCursor::End);
    QFile::remove(previewPath());

    press(Qt::Key_Insert);
    EXPECT_EQ(preview(), QByteArray("x^2")) << "Ins refreshes at once";
    press(Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_TRUE(form->Immediately1->Checked());
    EXPECT_EQ(form->Timer1->Interval(), 1u);
    press(Qt::Key_2, Qt::ControlModifier);
    EXPECT_TRUE(form->Every2Seconds1->Checked());
    EXPECT_EQ(form->Timer1->Interval(), 2000u);
    press(Qt::Key_Slash, Qt::ControlModifier);
    EXPECT_TRUE(form->EveryHalfSecond1->Checked());
    press(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(form->ManuallyOnly1->Checked());
    press(Qt::Key_Home);
    press(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->Memo1->Text(), "x^2") << "none of the menu's keys reached the editor";

    press(Qt::Key_Escape);
    EXPECT_TRUE(Application->IsMinimized());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "x^2") << "minimising copies the whole text";
}

TEST_F(MainForm, RestorePastesTheClipboardOverTheWholeText)
{
    startWith(QStringLiteral("x^2"));
    form->show();
    Application->Minimize();
    QGuiApplication::clipboard()->setText(QStringLiteral("\\alpha"));
    Application->Restore();
    EXPECT_EQ(form->Memo1->Text(), "\\alpha");
    EXPECT_EQ(preview(), QByteArray("\\alpha"));
    EXPECT_FALSE(form->Timer1->IsArmed());
}

TEST_F(MainForm, ClosingCopiesTheTextAndEndsTheProgram)
{
    startWith(QStringLiteral("e^{i\\pi}"));
    form->show();
    QGuiApplication::clipboard()->setText(QStringLiteral("other"));
    form->Exit1Click(form->Exit1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "e^{i\\pi}");
    EXPECT_TRUE(Application->Terminated());
}

// A signal or the session's end closes as Exit does; what was typed since the
// last refresh also reaches the preview file, the text's copy that outlives
// the session's clipboard.
TEST_F(MainForm, EndingFromOutsideKeepsTheTextTypedSinceTheLastRefresh)
{
    startWith(QStringLiteral("a"));
    form->show();
    form->ManuallyOnly1Click(form->ManuallyOnly1);
    QTest::keyClicks(form->Memo1, QStringLiteral("+b"));
    ASSERT_EQ(preview(), QByteArray("a"));
    Application->EndAsExit();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "a+b");
    EXPECT_EQ(preview(), QByteArray("a+b"));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("tamsel.ini"))));
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(MainForm, AboutBoxIsComposedFromTheCurrentValues)
{
    startWith({});
    Application->SetTitle(QStringLiteral("Tamsel"));
    form->Project1->SetCopyright(QStringLiteral("notice one"));
    form->Project1->SetComment(QString());
    form->Project1->SetTrademarks(QStringLiteral("notice three"));
    form->About1->Click();
    form->Project1->SetVersion(QString());
    form->Project1->SetBuild(-3);
    form->About1->Click();
    ASSERT_EQ(boxes.boxes().size(), 2);
    EXPECT_EQ(boxes.boxes()[0].text, "Tamsel version 1.0c (Build 12)\nnotice one\n\n\nnotice three");
    EXPECT_EQ(boxes.boxes()[0].caption, "Tamsel");
    EXPECT_EQ(boxes.boxes()[0].flags, TApplication::MB_OK);
    EXPECT_TRUE(boxes.boxes()[1].text.startsWith("Tamsel version 0.01 (Build -3)\n"))
        << "an empty version is stored as 0.01";
}

TEST_F(MainForm, AboutTextOfAnEmptyVersionAndBuildZero)
{
    TProject fresh(nullptr);
    EXPECT_EQ(AboutText(QStringLiteral("Tamsel"), fresh), "Tamsel version  (Build 0)\n\n\n\n");
    fresh.SetComment(QStringLiteral("https://x.example/"));
    fresh.SetTrademarks(QStringLiteral("t"));
    EXPECT_EQ(AboutText(QString(), fresh), " version  (Build 0)\n\nhttps://x.example/\n\nt");
}

TEST_F(MainForm, ProjectAsDesigned)
{
    const QString title = Application->Title();
    startWith({});
    EXPECT_EQ(form->Project1->Version(), "1.0c");
    EXPECT_EQ(form->Project1->Build(), 12);
    ASSERT_EQ(form->Project1->Log().size(), 18);
    EXPECT_TRUE(form->Project1->Log().last().endsWith(": Version 1.0c"));
    EXPECT_EQ(form->Project1->BackupFiles(), "");
    EXPECT_EQ(form->Project1->ResourceFile(), "Version.res");
    EXPECT_EQ(Application->Title(), title) << "AutoNaming is off";
}

TEST_F(MainForm, DraggingTheBarFitsTheBrowserToThePanel)
{
    startWith({});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    sendToBar(QEvent::MouseButtonPress, { 10, 1 });
    sendToBar(QEvent::MouseMove, { 10, 41 });
    EXPECT_EQ(form->Memo1->height(), 121) << "nothing is resized during the drag";
    sendToBar(QEvent::MouseButtonRelease, { 10, 41 });
    EXPECT_EQ(form->Memo1->height(), 161);
    EXPECT_EQ(form->Panel1->geometry(), QRect(0, 164, 427, 87));
    EXPECT_EQ(form->WebBrowser1->geometry(), QRect(QPoint(0, 0), form->Panel1->size()));
}

TEST_F(MainForm, DraggingTheBarKeepsThePreviewScrolled)
{
    QString text;
    for (int i = 0; i < 80; ++i)
        text += QStringLiteral("$$x_{%1} = \\frac{1}{2}$$\n").arg(i);
    startWith(text);
    int renders = 0;
    QObject::connect(form->WebBrowser1, &TWebBrowser::rendered, form, [&] { ++renders; });
    form->show();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return renders > 0; }, 20000));
    const auto scrollY = [&](const QString& script) { return runInPage(script).toInt(); };
    ASSERT_EQ(scrollY(QStringLiteral("window.scrollTo(0, 500); window.scrollY")), 500);

    sendToBar(QEvent::MouseButtonPress, { 10, 1 });
    sendToBar(QEvent::MouseMove, { 10, 41 });
    sendToBar(QEvent::MouseButtonRelease, { 10, 41 });
    TestSupport::pump(300);
    EXPECT_EQ(scrollY(QStringLiteral("window.scrollY")), 500);
}
