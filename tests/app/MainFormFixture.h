#pragma once

#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "TestSupport.h"

#include "widgets/TSplitter.h"
#include "app/preview/TWebBrowser.h"
#include "controls/TMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QWebEnginePage>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A main window created as the program creates it, with its executable (and so
// its preview file) in a folder of the test's own.
class MainFormFixture : public ::testing::Test {
protected:
    void startWith(const QString& clipboardText, const QString& exeName = {})
    {
        Application->ResetForTesting();
        if (clipboardText.isEmpty())
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setText(clipboardText);
        Application->SetExeName(exeName.isEmpty() ? dir.filePath(QStringLiteral("tamsel")) : exeName);
        Application->CreateForm(form);
    }

    void TearDown() override
    {
        Application->ResetForTesting();
        Application->SetExeName({});
    }

    // Puts the text in the editor, refreshes and waits, bounded, for the preview.
    bool refreshWith(const QString& text);
    // Runs a script in the preview page and waits, bounded, for its value.
    QVariant runInPage(const QString& script);
    // A mouse event on the splitter bar, at a point of the bar.
    void sendToBar(QEvent::Type type, QPoint at);

    QString previewPath() const { return dir.filePath(QStringLiteral("tamsel.tex")); }
    QByteArray preview() const { return TestSupport::readFile(previewPath()); }

    QTemporaryDir dir;
    TKelvaneMainForm* form = nullptr;
    TestSupport::MessageBoxRecorder boxes;
};

inline bool MainFormFixture::refreshWith(const QString& text)
{
    form->Memo1->SetText(text);
    int renders = 0;
    const auto connection = QObject::connect(form->WebBrowser1, &TWebBrowser::rendered, form, [&] { ++renders; });
    form->Now1Click(nullptr);
    const bool isShown = TestSupport::waitUntil([&] { return renders > 0; }, 20000);
    QObject::disconnect(connection);
    return isShown;
}

inline QVariant MainFormFixture::runInPage(const QString& script)
{
    QVariant value;
    bool isDone = false;
    form->WebBrowser1->page()->runJavaScript(script, [&](const QVariant& result) {
        value = result;
        isDone = true;
    });
    EXPECT_TRUE(TestSupport::waitUntil([&] { return isDone; }, 20000)) << script.toStdString();
    return value;
}

inline void MainFormFixture::sendToBar(QEvent::Type type, QPoint at)
{
    QMouseEvent event(type, at, form->Splitter1->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form->Splitter1, &event);
}
