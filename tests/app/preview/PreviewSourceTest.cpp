#include "app/preview/PreviewSource.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PreviewSourceTest : public ::testing::Test {
protected:
    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("preview.tex"))
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

// The call's arguments, parsed back the way the page's script engine sees them.
QJsonArray arguments(const QString& script, const char* function = "preview.show")
{
    const QString prefix = QLatin1String(function) + QLatin1Char('(');
    EXPECT_TRUE(script.startsWith(prefix));
    EXPECT_TRUE(script.endsWith(QLatin1Char(')')));
    const QString list = QLatin1Char('[') + script.mid(prefix.size(), script.size() - prefix.size() - 1) + QLatin1Char(']');
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(list.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.array();
}

} // namespace

TEST_F(PreviewSourceTest, ReadsUtf8AndNormalisesLineBreaks)
{
    const PreviewSource source = PreviewSource::read(write("\xEF\xBB\xBF\\alpha \xC3\xA9\r\nx\ry\n"));
    EXPECT_EQ(source.text, QStringLiteral("\\alpha \u00e9\nx\ny\n"));
    EXPECT_TRUE(source.notice.isEmpty());
    EXPECT_FALSE(source.isTruncated);
}

TEST_F(PreviewSourceTest, ReadsTheFileAnewEachTime)
{
    const QString path = write("x^2");
    EXPECT_EQ(PreviewSource::read(path).text, QStringLiteral("x^2"));
    write("y^3");
    EXPECT_EQ(PreviewSource::read(path).text, QStringLiteral("y^3"));
}

TEST_F(PreviewSourceTest, FilesThatCannotBeShownGiveANoticeAndNoText)
{
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString cases[] = {
        QString(),
        m_dir.filePath(QStringLiteral("missing.tex")),
        m_dir.path(),
        fifo, // must not block
        write(QByteArray("x^2\0\1\2", 6), QStringLiteral("binary.tex")),
    };
    for (const QString& path : cases) {
        const PreviewSource source = PreviewSource::read(path);
        EXPECT_TRUE(source.text.isEmpty()) << path.toStdString();
        EXPECT_FALSE(source.notice.isEmpty()) << path.toStdString();
    }
    EXPECT_TRUE(PreviewSource::read(m_dir.filePath(QStringLiteral("missing.tex"))).notice.contains(QLatin1String("missing.tex")));
}

// A FIFO swapped in for the file at any moment, also between a check and
// the opening, never makes a read wait for a writer.
TEST_F(PreviewSourceTest, FifoSwappedInDuringTheReadNeverBlocks)
{
    const QString path = write("x^2");
    const QByteArray name = QFile::encodeName(path);
    const QByteArray other = QFile::encodeName(m_dir.filePath(QStringLiteral("other")));
    ASSERT_EQ(::mkfifo(other.constData(), 0600), 0);
    std::atomic<bool> isDone = false;
    std::thread swapper([&] {
        while (!isDone)
            ::renameat2(AT_FDCWD, other.constData(), AT_FDCWD, name.constData(), RENAME_EXCHANGE);
    });
    auto reads = std::async(std::launch::async, [&] {
        for (int i = 0; i < 20000 && !isDone; ++i)
            PreviewSource::read(path);
    });
    const bool isFinished = reads.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    isDone = true;
    swapper.join();
    // A read stuck in opening the FIFO is let go by a writer.
    for (const QByteArray& fifo : { name, other }) {
        const int fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    reads.wait();
    EXPECT_TRUE(isFinished) << "a read waited for a writer of the FIFO";
}

TEST_F(PreviewSourceTest, EmptyFileIsAnEmptyPreviewWithoutNotice)
{
    const PreviewSource source = PreviewSource::read(write(""));
    EXPECT_TRUE(source.text.isEmpty());
    EXPECT_TRUE(source.notice.isEmpty());
}

TEST_F(PreviewSourceTest, InvalidUtf8ShowsReplacementCharacters)
{
    const PreviewSource source = PreviewSource::read(write("a\xFF\xFE b"));
    EXPECT_TRUE(source.text.startsWith(QLatin1Char('a')));
    EXPECT_TRUE(source.text.endsWith(QLatin1String(" b")));
    EXPECT_TRUE(source.text.contains(QChar::ReplacementCharacter));
}

TEST_F(PreviewSourceTest, LargeTextIsCutToABoundedFirstPartWithANotice)
{
    QByteArray big(10 * 1024 * 1024, 'x');
    const PreviewSource source = PreviewSource::read(write(big), 1000);
    EXPECT_EQ(source.text.size(), 1000);
    EXPECT_TRUE(source.isTruncated);
    EXPECT_TRUE(source.notice.contains(QLatin1String("not shown")));
    EXPECT_TRUE(source.notice.contains(QLatin1String("MiB")) || source.notice.contains(QLatin1String("MB")));

    const PreviewSource exact = PreviewSource::read(write(QByteArray(1000, 'x')), 1000);
    EXPECT_FALSE(exact.isTruncated);
    EXPECT_TRUE(exact.notice.isEmpty());
}

TEST_F(PreviewSourceTest, CutNeverSplitsACharacter)
{
    // U+1D400 takes two UTF-16 units and four UTF-8 bytes; U+00E9 two bytes.
    QByteArray text = "ab";
    for (int i = 0; i < 100; ++i)
        text += "\xF0\x9D\x90\x80\xC3\xA9";
    for (qsizetype limit : { 3, 4, 5, 6, 7 }) {
        const PreviewSource source = PreviewSource::read(write(text), limit);
        EXPECT_LE(source.text.size(), limit);
        EXPECT_GE(source.text.size(), limit - 1);
        EXPECT_FALSE(source.text.back().isHighSurrogate()) << limit;
        EXPECT_FALSE(source.text.contains(QChar::ReplacementCharacter)) << limit;
        EXPECT_TRUE(source.isTruncated);
    }
}

TEST_F(PreviewSourceTest, ScriptCarriesAnyTextAsStringData)
{
    const QString hostile[] = {
        QStringLiteral("\"); window.hit = 1; (\""),
        QStringLiteral("\\\"); window.hit = 1; //"),
        QStringLiteral("'); window.hit = 1; ('"),
        QStringLiteral("</script><script>window.hit = 1</script>"),
        QStringLiteral("line\nbreak\r\u2028\u2029\ttab\x01"),
        QStringLiteral("`${window.hit = 1}`"),
    };
    for (const QString& text : hostile) {
        PreviewSource source;
        source.text = text;
        source.notice = text;
        const QString script = source.script();
        EXPECT_FALSE(script.contains(QLatin1Char('\n')));
        const QJsonArray args = arguments(script);
        ASSERT_EQ(args.size(), 2);
        EXPECT_EQ(args.at(0).toString(), text);
        EXPECT_EQ(args.at(1).toString(), text);
    }
}

// The page rebuilds the text from the one it shows and what travels: the
// common start and end, and the middle. Surrogate pairs never travel split.
TEST_F(PreviewSourceTest, ChangeScriptCarriesWhatChangedAndRebuildsTheText)
{
    const QString pair = QString::fromUtf8("\xf0\x9d\x94\xb8"); // a letter outside the basic plane
    const QString otherPair = QString::fromUtf8("\xf0\x9d\x94\xb9"); // same high surrogate
    const struct {
        QString shown;
        QString text;
        qsizetype middle;
    } cases[] = {
        { "$$a$$ $$b$$", "$$a$$ $$b$$", 0 },
        { "$$a$$ $$b$$", "$$a$$ $$x$$", 1 },
        { "", "$$a$$", 5 },
        { "$$a$$", "", 0 },
        { "abcabc", "abc", 0 },
        { "aaa", "aaaa", 1 },
        { "x" + pair + "y", "x" + otherPair + "y", 2 },
        { pair + pair, pair + otherPair, 2 },
        { "\"); window.hit = 1; (\"", "\"); window.hit = 2; (\"", 1 },
    };
    for (const auto& c : cases) {
        PreviewSource source;
        source.text = c.text;
        source.notice = QStringLiteral("n");
        const QJsonArray args = arguments(source.changeScript(c.shown), "preview.change");
        ASSERT_EQ(args.size(), 5);
        const qsizetype length = args.at(0).toInteger();
        const qsizetype head = args.at(1).toInteger();
        const qsizetype tail = args.at(2).toInteger();
        const QString middle = args.at(3).toString();
        EXPECT_EQ(length, c.shown.size());
        ASSERT_LE(head + tail, length);
        EXPECT_EQ(c.shown.left(head) + middle + c.shown.right(tail), c.text) << c.text.toStdString();
        EXPECT_EQ(middle.size(), c.middle) << c.text.toStdString();
        EXPECT_EQ(args.at(4).toString(), QStringLiteral("n"));
    }
}

// A text cut to a bounded length and edited before its cut: its cut end
// moves by the edit's size, and only the edit and the new end travel.
TEST_F(PreviewSourceTest, ChangeOfACutTextCarriesTheEditAndTheMovedEnd)
{
    QString whole;
    for (int i = 0; whole.size() < 3000; ++i)
        whole += QStringLiteral("$$x_{%1} = \\frac{%1}{2}$$\n").arg(i);
    const qsizetype cap = 1000;
    const struct {
        qsizetype at;
        qsizetype removed;
        QString added;
    } cases[] = { { 10, 0, "1" }, { 10, 1, "" }, { 500, 2, "abc" }, { 30, 0, "\\alpha+" }, { 700, 3, "" } };
    for (const auto& c : cases) {
        PreviewSource source;
        source.text = QString(whole).replace(c.at, c.removed, c.added).left(cap);
        source.isTruncated = true;
        const QJsonArray args = arguments(source.changeScript(whole.left(cap)), "preview.change");
        ASSERT_EQ(args.size(), 7) << c.at;
        const qsizetype head = args.at(1).toInteger();
        const QString middle = args.at(3).toString();
        const QString joined = whole.left(head) + middle + whole.left(cap).right(args.at(2).toInteger());
        const QString end = args.at(6).toString();
        EXPECT_EQ(joined.left(args.at(5).toInteger()) + end, source.text) << c.at;
        EXPECT_LE(middle.size() + end.size(), 2 * c.added.size() + c.removed + 2) << c.at;
    }
}
