#include "MainFormFixture.h"
#include "settings/TFormPlacement.h"
#include "controls/TMemo.h"
#include "controls/TMenuItem.h"
#include "core/TTimer.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>

namespace {

const QByteArray Section = "[TKelvaneMainForm]\r\n";

class SettingsPersistence : public MainFormFixture {
protected:
    QString iniPath() const { return dir.filePath(QStringLiteral("tamsel.ini")); }
    QByteArray ini() const { return TestSupport::readFile(iniPath()); }
    void writeIni(const QByteArray& bytes) const
    {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void startShown(const QByteArray& settings)
    {
        if (!settings.isNull())
            writeIni(settings);
        startWith(QStringLiteral("x^2"));
        form->show();
    }
    QList<TMenuItem*> delayItems() const
    {
        return { form->Every10Seconds1, form->EveryHalfSecond1, form->Every1Second1, form->Every2Seconds1,
            form->Every5Seconds1, form->Immediately1, form->ManuallyOnly1 };
    }
    QString checkedItems() const
    {
        QStringList names;
        for (TMenuItem* item : delayItems())
            if (item->Checked())
                names.append(item->Name());
        return names.join(u',');
    }
    // The key lines of the file, without their values.
    QStringList keys() const
    {
        QStringList names;
        for (const QByteArray& line : ini().split('\n'))
            if (line.contains('='))
                names.append(QString::fromUtf8(line.left(line.indexOf('='))));
        return names;
    }
    QString suffix() const
    {
        const QSize size = QGuiApplication::primaryScreen()->size();
        return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
    }
};

} // namespace

TEST_F(SettingsPersistence, FirstRunReadsDefaultsAndWritesOnlyAtClose)
{
    startShown({});
    EXPECT_EQ(checkedItems(), "EveryHalfSecond1");
    EXPECT_EQ(form->Timer1->Interval(), 5000u);
    EXPECT_EQ(form->pos(), QPoint(282, 150));
    EXPECT_FALSE(QFile::exists(iniPath())) << "nothing is written at start";

    form->Every2Seconds1->Click();
    form->Exit1Click(form->Exit1);
    const QString s = suffix();
    EXPECT_EQ(keys(), (QStringList { "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos" + s, "MinMaxPos", "NormPos" + s,
                          "NormPos", "Visible", "Every10Seconds1_Checked", "EveryHalfSecond1_Checked", "Every1Second1_Checked",
                          "Every2Seconds1_Checked", "Every5Seconds1_Checked", "Immediately1_Checked", "ManuallyOnly1_Checked",
                          "Timer1_Interval", "EditorZoom1_Percent", "PreviewZoom1_Percent" }));
    const QByteArray text = ini();
    EXPECT_TRUE(text.startsWith(Section + "Flags=0\r\nShowCmd=1\r\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("NormPos=282,150,")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("Visible=0\r\nEvery10Seconds1_Checked=False\r\nEveryHalfSecond1_Checked=False\r\n"
                              "Every1Second1_Checked=False\r\nEvery2Seconds1_Checked=True\r\nEvery5Seconds1_Checked=False\r\n"
                              "Immediately1_Checked=False\r\nManuallyOnly1_Checked=False\r\nTimer1_Interval=2000\r\n"
                              "EditorZoom1_Percent=100\r\nPreviewZoom1_Percent=100\r\n"));
}

TEST_F(SettingsPersistence, StoredDelayIsRestoredInListOrder)
{
    const struct {
        QByteArray keys;
        const char* checked;
        uint interval;
    } cases[] = {
        { "Every2Seconds1_Checked=True\r\nTimer1_Interval=2000\r\n", "Every2Seconds1", 2000 },
        { "Every10Seconds1_Checked=True\r\nEvery2Seconds1_Checked=True\r\n", "Every2Seconds1", 5000 },
        { "Every10Seconds1_Checked=False\r\nEveryHalfSecond1_Checked=False\r\nEvery1Second1_Checked=False\r\n"
          "Every2Seconds1_Checked=False\r\nEvery5Seconds1_Checked=False\r\nImmediately1_Checked=False\r\n"
          "ManuallyOnly1_Checked=False\r\nTimer1_Interval=1000\r\n", "", 1000 },
        { "Every5Seconds1_Checked=true\r\n", "Every5Seconds1", 5000 },
        { "Every5Seconds1_Checked=TRUE\r\n", "Every5Seconds1", 5000 },
        { "Every5Seconds1_Checked=1\r\nEvery1Second1_Checked=yes\r\n", "EveryHalfSecond1", 5000 },
        { "Timer1_Interval=0x1F4\r\n", "EveryHalfSecond1", 500 },
        { "Timer1_Interval=$1F4\r\n", "EveryHalfSecond1", 500 },
        { "Timer1_Interval=500ms\r\n", "EveryHalfSecond1", 0 },
        { "Timer1_Interval=banana\r\n", "EveryHalfSecond1", 0 },
        { "Timer1_Interval=3000000000\r\n", "EveryHalfSecond1", 3000000000u },
        { "timer1_interval=1000\r\n", "EveryHalfSecond1", 1000 },
    };
    for (const auto& c : cases) {
        startShown(Section + c.keys);
        EXPECT_EQ(checkedItems(), c.checked) << c.keys.toStdString();
        EXPECT_EQ(form->Timer1->Interval(), c.interval) << c.keys.toStdString();
        // Typing arms the timer with whatever delay came back, silently.
        QTest::keyClick(form->Memo1, Qt::Key_A);
        EXPECT_EQ(form->Timer1->IsArmed(), c.interval != 0) << c.keys.toStdString();
        EXPECT_TRUE(boxes.boxes().isEmpty()) << c.keys.toStdString();
        Application->ResetForTesting();
    }
}

TEST_F(SettingsPersistence, PlacementComesBack)
{
    const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
    const QByteArray ppi = "PixelsPerInch=" + QByteArray::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch())) + "\r\n";
    const struct {
        QByteArray keys;
        QRect rect;
    } cases[] = {
        { ppi + "NormPos=100,120,600,520\r\n", QRect(100, 120, 500, 400) },
        { ppi + "NormPos" + suffix().toLatin1() + "=10,20,410,320\r\nNormPos=100,120,600,520\r\n", QRect(10, 20, 400, 300) },
        // Missing words default to the form's own edges.
        { ppi + "NormPos=100,120\r\n", QRect(100, 120, 282 + 427 - 100, 0) },
        { "PixelsPerInch=1\r\nNormPos=100,120,600,520\r\n", QRect(282, 150, 427, 0) },
        { ppi + "NormPos=600,120,100,520\r\n", QRect(282, 150, 427, 0) },
        { ppi + "NormPos=100,520,600,120\r\n", QRect(282, 150, 427, 0) },
        // Overflowing or absurd: as designed.
        { ppi + "NormPos=2147483647,2147483647,-2147483648,-2147483648\r\n", QRect(282, 150, 427, 0) },
        { ppi + "NormPos=-2147483648,0,2147483647,500\r\n", QRect(282, 150, 427, 0) },
        { ppi + "NormPos=x,y,z,w\r\n", QRect(282, 150, 427, 0) },
        // Saved on a monitor that is gone: onto the primary screen.
        { ppi + "NormPos=5000,4000,5400,4300\r\n", QRect(primary.right() + 1 - 400, primary.bottom() + 1 - 300, 400, 300) },
        { ppi + "NormPos=-3000,100,-2600,400\r\n", QRect(primary.left(), 100, 400, 300) },
        // Larger than the screen: cut to it.
        { ppi + "NormPos=0,0,9000,9000\r\n", QRect(primary.topLeft(), primary.size()) },
    };
    for (const auto& c : cases) {
        startShown(Section + c.keys);
        EXPECT_EQ(form->pos(), c.rect.topLeft()) << c.keys.toStdString();
        EXPECT_EQ(form->width(), c.rect.width()) << c.keys.toStdString();
        if (c.rect.height() > 0) {
            EXPECT_EQ(form->height(), c.rect.height()) << c.keys.toStdString();
        }
        Application->ResetForTesting();
    }
}

TEST_F(SettingsPersistence, WhereWindowsCannotBePlacedSizeAndStateStillComeBack)
{
    TFormPlacement::SetWindowsCanBePlacedForTesting(false);
    const QByteArray ppi = "PixelsPerInch=" + QByteArray::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch())) + "\r\n";
    startShown(Section + ppi + "NormPos=100,120,600,520\r\nShowCmd=3\r\n");
    TFormPlacement::SetWindowsCanBePlacedForTesting(std::nullopt);
    EXPECT_EQ(form->normalGeometry().size(), QSize(500, 400));
    EXPECT_EQ(form->normalGeometry().topLeft(), QPoint(282, 150)) << "the place stays the designed one";
    EXPECT_TRUE(form->isMaximized());
}

TEST_F(SettingsPersistence, WindowStateComesBack)
{
    startShown(Section + "ShowCmd=3\r\n");
    EXPECT_TRUE(form->isMaximized());
    Application->ResetForTesting();

    startShown(Section + "ShowCmd=0x4\r\n");
    EXPECT_FALSE(form->isMaximized());
    EXPECT_FALSE(Application->IsMinimized());
    Application->ResetForTesting();

    // Minimised: the whole program minimises once the loop runs, with the
    // minimise hand-over (the text goes to the clipboard).
    startShown(Section + "ShowCmd=2\r\n");
    EXPECT_FALSE(Application->IsMinimized());
    QGuiApplication::clipboard()->setText(QStringLiteral("other"));
    EXPECT_TRUE(TestSupport::waitUntil([] { return Application->IsMinimized(); }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "x^2");
    form->Exit1Click(form->Exit1);
    EXPECT_TRUE(ini().contains("ShowCmd=2\r\n"));
    Application->ResetForTesting();

    // Minimised from maximised: restored, it is maximised again.
    startShown(Section + "ShowCmd=2\r\nFlags=2\r\n");
    EXPECT_TRUE(TestSupport::waitUntil([] { return Application->IsMinimized(); }));
    EXPECT_TRUE(form->windowState().testFlag(Qt::WindowMaximized));
}

TEST_F(SettingsPersistence, BadFilesStartQuietlyAndKeepTheirOtherLines)
{
    QByteArray garbage(64 * 1024, '\0');
    QRandomGenerator random(8);
    for (char& byte : garbage)
        byte = char(random.bounded(256));
    garbage.replace('[', '(');
    QByteArray tenMegabytes = "[Other]\r\n";
    while (tenMegabytes.size() < 10 * 1024 * 1024)
        tenMegabytes += "key" + QByteArray::number(tenMegabytes.size()) + "=some value\r\n";
    const QByteArray longLine = "[Other]\r\nlong=" + QByteArray(1024 * 1024, 'x') + "\r\n";

    const struct {
        const char* name;
        QByteArray bytes;
        QByteArrayList kept; // parts of the file that must still be there after the save
        uint interval;
    } cases[] = {
        { "binary garbage", garbage, { garbage }, 5000 },
        { "10 MB", tenMegabytes, { tenMegabytes }, 5000 },
        { "1 MB line", longLine, { longLine }, 5000 },
        { "NUL bytes", QByteArrayLiteral("[Other]\r\na\0b=c\0d\r\n") + Section + QByteArrayLiteral("Timer1_Interval=1000\r\nx=\0\r\n"),
            { QByteArrayLiteral("[Other]\r\na\0b=c\0d\r\n"), QByteArrayLiteral("x=\0\r\n") }, 1000 },
        { "no final line break", Section + "Timer1_Interval=1000", { Section + "Timer1_Interval=1000\r\n" }, 1000 },
        { "duplicates", Section + "Timer1_Interval=1000\r\nTimer1_Interval=9\r\n" + Section + "Timer1_Interval=7\r\n",
            { "Timer1_Interval=9\r\n", Section + "Timer1_Interval=7\r\n" }, 1000 },
        { "keys without =", Section + "just words\r\nTimer1_Interval=1000\r\n", { Section + "just words\r\n" }, 1000 },
        { "banana", Section + "Timer1_Interval=banana\r\n", {}, 0 },
        { "hexadecimal", Section + "Timer1_Interval=0x1F4\r\n", {}, 500 },
        { "beyond the signed range", Section + "Timer1_Interval=3000000000\r\n", {}, 3000000000u },
    };
    for (const auto& c : cases) {
        startShown(c.bytes);
        EXPECT_EQ(form->Timer1->Interval(), c.interval) << c.name;
        QTest::keyClick(form->Memo1, Qt::Key_A);
        form->Exit1Click(form->Exit1);
        EXPECT_TRUE(boxes.boxes().isEmpty()) << c.name;
        const QByteArray after = ini();
        for (const QByteArray& kept : c.kept)
            EXPECT_TRUE(after.contains(kept)) << c.name;
        // New lines end as the file's first line does, which garbage decides.
        EXPECT_TRUE(after.contains("Timer1_Interval=" + QByteArray::number(c.interval))) << c.name;
        EXPECT_TRUE(after.contains("EveryHalfSecond1_Checked=True")) << c.name;
        Application->ResetForTesting();
    }
}

TEST_F(SettingsPersistence, UnwritableSettingsAreReportedAndTheTextStillLeaves)
{
    QDir().mkpath(iniPath());
    startShown({});
    QGuiApplication::clipboard()->setText(QStringLiteral("other"));
    form->Exit1Click(form->Exit1);
    ASSERT_FALSE(boxes.boxes().isEmpty());
    EXPECT_EQ(boxes.boxes()[0].text, "Unable to write to " + iniPath() + ".");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "x^2");
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(SettingsPersistence, DestroyedWithoutClosingSavesOnce)
{
    startShown({});
    Application->ResetForTesting();
    EXPECT_TRUE(ini().contains("Visible=1\r\n"));

    // A form that was never shown writes nothing.
    QFile::remove(iniPath());
    startWith({});
    Application->ResetForTesting();
    EXPECT_FALSE(QFile::exists(iniPath()));
}
