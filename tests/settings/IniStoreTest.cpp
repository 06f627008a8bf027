#include "settings/IniStore.h"
#include "application/TApplication.h"
#include "core/TComponent.h"
#include "settings/TIniFile.h"
#include "settings/TRegIniFile.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace IniStore;

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

TEST(IniStore, IntegerReading)
{
    const struct {
        const char* text;
        std::optional<qint32> value;
    } cases[] = {
        { "3", 3 }, { "0x3", 3 }, { "0X3", 3 }, { "$3", 3 }, { "x3", 3 }, { "X3", 3 }, { "  3", 3 },
        { "+7", 7 }, { "-5", -5 }, { "0x1F4", 500 }, { "$1f4", 500 }, { "$FFFFFFFF", -1 },
        { "2147483647", 2147483647 }, { "-2147483648", -2147483647 - 1 }, { "0", 0 },
        { "three", {} }, { "3abc", {} }, { "", {} }, { "3 ", {} }, { "0x", {} }, { "$", {} },
        { "$123456789", {} }, { "2147483648", {} }, { "-$10", {} }, { "500ms", {} }, { "99999999999999999999", {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrToInt(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_EQ(StrToIntDef(QStringLiteral("banana"), 42), 42);
}

TEST(IniStore, UnsignedReadingTakesTheWholeRange)
{
    const struct {
        const char* text;
        std::optional<quint32> value;
    } cases[] = {
        { "3000000000", 3000000000u }, { "4294967295", 4294967295u }, { "4294967296", {} },
        { "-1", 4294967295u }, { "0x1F4", 500u }, { "banana", {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrToUInt(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(IniStore, QuotedTextSurvivesTheFileButNotTheOtherStore)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    TIniFile file(path);
    const struct {
        const char* value;
        const char* inFile;
    } cases[] = {
        { "'x'", "\"'x'\"" }, { "\"y\"", "\"\"y\"\"" }, { "'z", "'z" }, { "plain", "plain" }, { "'", "\"'\"" },
    };
    for (const auto& c : cases) {
        WriteString(&file, QStringLiteral("S"), QStringLiteral("k"), QString::fromLatin1(c.value));
        file.UpdateFile();
        EXPECT_TRUE(TestSupport::readFile(path).contains(QByteArray("k=") + c.inFile + "\r\n")) << c.value << TestSupport::readFile(path).toStdString();
        EXPECT_EQ(ReadString(&file, QStringLiteral("S"), QStringLiteral("k"), {}), QString::fromLatin1(c.value)) << c.value;
    }
    EXPECT_EQ(ReadString(nullptr, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("def")), "def");
    EXPECT_NO_THROW(WriteString(nullptr, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
}

TEST(IniStore, StoreOverTheUsersConfigurationKeepsValuesAsTheyAre)
{
    QStandardPaths::setTestModeEnabled(true);
    {
        TRegIniFile store(QStringLiteral("Software\\TamselTest"));
        store.EraseSection(QStringLiteral("S"));
        WriteString(&store, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("'quoted'"));
        store.WriteInteger(QStringLiteral("S"), QStringLiteral("n"), -12);
    }
    TRegIniFile store(QStringLiteral("Software\\TamselTest"));
    EXPECT_EQ(ReadString(&store, QStringLiteral("S"), QStringLiteral("k"), {}), "'quoted'");
    EXPECT_EQ(ReadInteger(&store, QStringLiteral("S"), QStringLiteral("n"), 0), -12);
    store.EraseSection(QStringLiteral("S"));
    EXPECT_EQ(ReadInteger(&store, QStringLiteral("S"), QStringLiteral("n"), 7), 7);
    QStandardPaths::setTestModeEnabled(false);
}

// A store without a name (the program's folder has a name that is no text)
// names the program's folder instead.
TEST(IniStore, RefusedWriteNamesTheFile)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("tamsel.ini"));
    QDir().mkpath(folder);
    for (const QString& name : { folder, QString() }) {
        TIniFile file(name);
        const QString shown = name.isEmpty() ? QCoreApplication::applicationDirPath() + u'/' : name;
        for (const auto& write : std::initializer_list<std::function<void()>> {
                 [&] { file.WriteString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")); },
                 [&] { file.WriteInteger(QStringLiteral("S"), QStringLiteral("k"), 1); },
                 [&] { file.EraseSection(QStringLiteral("S")); } }) {
            try {
                write();
                ADD_FAILURE() << "no exception";
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), QStringLiteral("Unable to write to ") + shown);
            }
        }
    }
}

TEST(IniStore, SectionsAreNamedAfterTheForm)
{
    class TSampleForm : public TForm { };
    TSampleForm form;
    form.setObjectName(QStringLiteral("SampleForm"));
    auto* control = new QWidget(form.ClientArea());
    control->setObjectName(QStringLiteral("Memo1"));
    auto* component = new TComponent(&form);
    component->SetName(QStringLiteral("Timer1"));
    QWidget loose;
    loose.setObjectName(QStringLiteral("Loose"));
    auto* child = new QWidget(&loose);
    child->setObjectName(QStringLiteral("Child"));
    TComponent orphan(nullptr);
    orphan.SetName(QStringLiteral("Orphan"));

    // The class name, not the component name: TForm here, as the sample
    // class declares no meta-object of its own.
    EXPECT_EQ(DefaultSection(&form), "TForm");
    EXPECT_EQ(DefaultSection(control), "TFormMemo1");
    EXPECT_EQ(DefaultSection(component), "TForm.Timer1");
    EXPECT_EQ(DefaultSection(child), "LooseChild");
    EXPECT_EQ(DefaultSection(&orphan), "Orphan");
    EXPECT_EQ(DefaultSection(nullptr), "");
}

TEST(IniStore, PositionKeysWithAndWithoutTheScreenSuffix)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    TIniFile file(path);
    const QString suffix = ScreenSuffix();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\(\\d+x\\d+\\)$")).match(suffix).hasMatch()) << suffix.toStdString();

    // Closed once at another resolution before.
    file.WriteString(QStringLiteral("S"), QStringLiteral("NormPos(800x600)"), QStringLiteral("1,2,3,4"));
    file.WriteString(QStringLiteral("S"), QStringLiteral("NormPos"), QStringLiteral("1,2,3,4"));
    EXPECT_EQ(ReadPosStr(&file, QStringLiteral("S"), QStringLiteral("NormPos")), "1,2,3,4") << "falls back to the key without suffix";
    WritePosStr(&file, QStringLiteral("S"), QStringLiteral("NormPos"), QStringLiteral("5,6,7,8"));
    file.UpdateFile();
    EXPECT_EQ(TestSupport::readFile(path), "[S]\r\nNormPos(800x600)=1,2,3,4\r\nNormPos=5,6,7,8\r\nNormPos" + suffix.toLatin1() + "=5,6,7,8\r\n");
    file.WriteString(QStringLiteral("S"), QStringLiteral("NormPos"), QStringLiteral("9,9,9,9"));
    EXPECT_EQ(ReadPosStr(&file, QStringLiteral("S"), QStringLiteral("NormPos")), "5,6,7,8") << "the screen's own key first";
}
