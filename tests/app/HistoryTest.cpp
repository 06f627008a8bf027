#include "app/HandOverHistory.h"
#include "app/HistoryFile.h"
#include "app/HistoryText.h"
#include "app/HistoryWindow.h"
#include "MainFormFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QDateTime at(int seconds)
{
    return QDateTime::fromSecsSinceEpoch(1'700'000'000 + seconds, Qt::UTC);
}

QStringList textsOf(const QList<HistoryEntry>& entries)
{
    QStringList texts;
    for (const HistoryEntry& entry : entries)
        texts.append(entry.text);
    return texts;
}

} // namespace

// Bounds, collapse and order of the entries as texts are added.
TEST(History, KeepsTheNewestWithinItsBounds)
{
    const QString big(6 * 1024 * 1024, QLatin1Char('x')); // four of these pass 20 MB
    struct Case {
        const char* name;
        QStringList added; // oldest first
        QStringList expected; // newest first
        bool lastIsKept = true;
    };
    QStringList many;
    for (int i = 0; i < HistoryText::MaxEntries + 3; ++i)
        many.append(QString::number(i));
    QStringList newest500;
    for (int i = HistoryText::MaxEntries + 2; i >= 3; --i)
        newest500.append(QString::number(i));
    const Case cases[] = {
        { "newest first", { "a", "b", "c" }, { "c", "b", "a" } },
        { "same as the newest collapses", { "a", "b", "b" }, { "b", "a" } },
        { "same as an older one stays", { "a", "b", "a" }, { "a", "b", "a" } },
        { "at most 500", many, newest500 },
        { "at most 20 MB", { big + "1", big + "2", big + "3", big + "4" }, { big + "4", big + "3", big + "2" } },
        { "a text over 20 MB is not kept", { "a", QString(21 * 1024 * 1024, QLatin1Char('y')) }, { "a" }, false },
    };
    for (const Case& c : cases) {
        QList<HistoryEntry> entries;
        bool kept = true;
        for (int i = 0; i < c.added.size(); ++i)
            kept = HistoryText::add(entries, { at(i), c.added.at(i) });
        EXPECT_EQ(textsOf(entries), c.expected) << c.name;
        EXPECT_EQ(kept, c.lastIsKept) << c.name;
        // What is written reads back the same.
        const HistoryText::Parsed back = HistoryText::parse(HistoryText::serialize(entries));
        EXPECT_EQ(back.status, HistoryText::Status::Valid) << c.name;
        EXPECT_EQ(back.entries, entries) << c.name;
    }
    // A collapsed text takes the newest time.
    QList<HistoryEntry> entries;
    HistoryText::add(entries, { at(1), "a" });
    HistoryText::add(entries, { at(2), "a" });
    EXPECT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.first().time, at(2));
}

// A file in the history's place that is not a history of ours is set aside
// under a name of its own, untouched, and a new history starts with a notice.
TEST(History, SetsAsideWhatIsNoHistory)
{
    struct Case {
        const char* name;
        std::function<void(const QByteArray& path)> make;
    };
    const auto write = [](const QByteArray& bytes) {
        return [bytes](const QByteArray& path) {
            QFile file(QString::fromUtf8(path));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
    };
    QList<HistoryEntry> one;
    HistoryText::add(one, { at(0), "x^2" });
    const QByteArray valid = HistoryText::serialize(one);
    const Case cases[] = {
        { "FIFO", [](const QByteArray& path) { ASSERT_EQ(::mkfifo(path.constData(), 0600), 0); } },
        { "link to a device", [](const QByteArray& path) { ASSERT_EQ(::symlink("/dev/zero", path.constData()), 0); } },
        { "link to a history", [&](const QByteArray& path) {
             write(valid)(path + ".real");
             ASSERT_EQ(::symlink((path + ".real").constData(), path.constData()), 0);
         } },
        { "1 GB", [&](const QByteArray& path) {
             write("Tamsel history 1\n")(path);
             ASSERT_EQ(::truncate(path.constData(), 1024LL * 1024 * 1024), 0);
         } },
        { "binary", write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)) },
        { "newer version", write("Tamsel history 2\nwhatever comes\n") },
        { "cut short", write(valid.left(valid.size() - 3)) },
        { "not UTF-8", write("Tamsel history 1\n2024-01-01T00:00:00.000Z 2\n\xff\xfe\n") },
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("tamsel.history"));
        c.make(QFile::encodeName(name));
        struct stat before {};
        ::lstat(QFile::encodeName(name).constData(), &before);
        HistoryFile file(name);
        const HistoryFile::Outcome outcome = file.add(QStringLiteral("a+b"), at(5));
        EXPECT_TRUE(outcome.isSaved) << c.name;
        EXPECT_TRUE(outcome.notice.contains(QStringLiteral("was kept as"))) << c.name << outcome.notice.toStdString();
        EXPECT_EQ(textsOf(outcome.entries), QStringList { "a+b" }) << c.name;
        // The thing set aside is the same (its inode), not a copy or its target.
        const QStringList aside = QDir(dir.path()).entryList({ QStringLiteral("tamsel.history.2*") }, QDir::System | QDir::Files);
        ASSERT_EQ(aside.size(), 1) << c.name;
        struct stat kept {};
        ::lstat(QFile::encodeName(dir.filePath(aside.first())).constData(), &kept);
        EXPECT_EQ(kept.st_ino, before.st_ino) << c.name;
        // The new history is a private regular file holding the new entry.
        struct stat now {};
        ASSERT_EQ(::lstat(QFile::encodeName(name).constData(), &now), 0) << c.name;
        EXPECT_TRUE(S_ISREG(now.st_mode)) << c.name;
        EXPECT_EQ(now.st_mode & 0777, 0600u) << c.name;
        EXPECT_EQ(textsOf(HistoryFile(name).read().entries), QStringList { "a+b" }) << c.name;
    }
}

// Two copies handing over at once, each many times: every entry is there
// and the file is whole.
TEST(History, ConcurrentWritersLoseNothing)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("tamsel.history"));
    constexpr int PerWriter = 40;
    const auto writer = [&](const char* who) {
        HistoryFile file(name);
        for (int i = 0; i < PerWriter; ++i)
            EXPECT_TRUE(file.add(QStringLiteral("%1 %2").arg(QLatin1String(who)).arg(i), QDateTime::currentDateTime()).isSaved);
    };
    std::thread first(writer, "first");
    std::thread second(writer, "second");
    first.join();
    second.join();
    const HistoryFile::Outcome outcome = HistoryFile(name).read();
    EXPECT_TRUE(outcome.notice.isEmpty()) << outcome.notice.toStdString();
    const QStringList texts = textsOf(outcome.entries);
    EXPECT_EQ(texts.size(), 2 * PerWriter);
    // Each writer's own entries stay in the order it made them.
    EXPECT_LT(texts.indexOf("first 39"), texts.indexOf("first 0"));
    EXPECT_LT(texts.indexOf("second 39"), texts.indexOf("second 0"));
}

class HistoryForm : public MainFormFixture {
protected:
    QString historyPath() const { return dir.filePath(QStringLiteral("tamsel.history")); }
};

// Hand-overs reach the history; a text chosen in the window replaces the
// editor's as one step of undo; Delete and Clear change the file.
TEST_F(HistoryForm, HandsOverRestoresAndRemoves)
{
    startWith(QString());
    QStringList notices;
    form->History()->presentNotice = [&](const QString& notice) { notices.append(notice); };
    bool isClearConfirmed = false;
    form->History()->confirmClear = [&] { return isClearConfirmed; };
    for (const char* text : { "a^2", "b^2", "b^2", "" }) {
        form->Memo1->SetText(QString::fromUtf8(text));
        form->AppEvents1Minimize(nullptr);
    }
    EXPECT_EQ(textsOf(HistoryFile(historyPath()).read().entries), (QStringList { "b^2", "a^2" }));

    form->Memo1->SetText(QStringLiteral("typed"));
    HistoryWindow* window = form->History()->showWindow([&](const QString& text) { form->PutHistoryText(text); });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return window->isPageReady(); }, 20000));
    EXPECT_EQ(window->selectedRow(), 0);
    window->search(QStringLiteral("A^"));
    EXPECT_EQ(textsOf(window->shownEntries()), QStringList { "a^2" });
    window->chooseSelected();
    EXPECT_EQ(form->Memo1->Text(), QStringLiteral("a^2"));
    form->Memo1->undo();
    EXPECT_EQ(form->Memo1->Text(), QStringLiteral("typed"));
    form->Memo1->redo();
    EXPECT_EQ(form->Memo1->Text(), QStringLiteral("a^2"));

    window = form->History()->showWindow({});
    window->removeSelected();
    EXPECT_EQ(textsOf(HistoryFile(historyPath()).read().entries), QStringList { "a^2" });
    window->clearHistory(); // asks first: the test's answer is no
    EXPECT_EQ(textsOf(HistoryFile(historyPath()).read().entries), QStringList { "a^2" });
    isClearConfirmed = true;
    window->clearHistory();
    EXPECT_TRUE(HistoryFile(historyPath()).read().entries.isEmpty());
    form->Memo1->SetText(QStringLiteral("a^2"));
    form->AppEvents1Minimize(nullptr);
    window->close();
    EXPECT_TRUE(notices.isEmpty()) << notices.join('\n').toStdString();

    // A text too large for the history goes to the clipboard alone, said in a notice.
    form->Memo1->SetText(QString(HistoryText::MaxTextBytes + 1, QLatin1Char('z')));
    form->AppEvents1Minimize(nullptr);
    form->History()->showPendingNotice();
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().contains(QStringLiteral("20.0 MB"))) << notices.first().toStdString();
    EXPECT_EQ(textsOf(HistoryFile(historyPath()).read().entries), QStringList { "a^2" });
}
