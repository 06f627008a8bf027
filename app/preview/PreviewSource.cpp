#include "app/preview/PreviewSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("PreviewSource", text);
}

PreviewSource failure(const QString& notice)
{
    PreviewSource source;
    source.notice = notice;
    return source;
}

struct OpenResult {
    int fd = -1;
    // An errno value; ENODEV stands for "opened, but not a regular file".
    int error = 0;
};

// Opens the file for reading without ever waiting: a FIFO opens at once
// without a writer, and the file opened is the one checked. Only a regular
// file is kept open, in blocking mode again for the reads.
OpenResult openRegularFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    OpenResult result;
    result.fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (result.fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat info {};
    if (::fstat(result.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.error = ENODEV;
        ::close(result.fd);
        result.fd = -1;
        return result;
    }
    const int flags = ::fcntl(result.fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(result.fd, F_SETFL, flags & ~O_NONBLOCK);
    return result;
}

} // namespace

PreviewSource PreviewSource::read(const QString& path, qsizetype maxChars)
{
    const QString shownPath = QDir::toNativeSeparators(path);
    if (path.isEmpty())
        return failure(tr("No preview file is given."));
    // Only a regular file is read: a FIFO or device would block or never end.
    // What is checked is the file actually opened, so nothing swapped in
    // after a check can be read instead.
    const OpenResult opened = openRegularFile(path);
    if (opened.error == ENOENT)
        return failure(tr("The preview file %1 does not exist.").arg(shownPath));
    if (opened.error == ENODEV)
        return failure(tr("%1 is not a file the preview can show.").arg(shownPath));
    QFile file;
    if (opened.error != 0 || !file.open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (opened.fd >= 0)
            ::close(opened.fd);
        const QString reason = opened.error != 0 ? QString::fromLocal8Bit(std::strerror(opened.error)) : file.errorString();
        return failure(tr("The preview file %1 cannot be read: %2").arg(shownPath, reason));
    }

    // A UTF-16 code unit takes at most three bytes of UTF-8, so this many bytes
    // always hold the part that is shown, whatever the size of the file.
    const qint64 maxBytes = qint64(maxChars) * 3 + 4;
    const QByteArray bytes = file.read(maxBytes);
    const qint64 fileSize = std::max(file.size(), qint64(bytes.size()));
    if (bytes.contains('\0'))
        return failure(tr("The preview file %1 holds binary data, not text.").arg(shownPath));

    // Stateful decoding keeps back a sequence cut off at the end of what was
    // read instead of showing it as a replacement character; bytes that are
    // not UTF-8 show as replacement characters.
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);

    PreviewSource source;
    source.isTruncated = text.size() > maxChars || bytes.size() < fileSize;
    if (text.size() > maxChars) {
        qsizetype cut = maxChars;
        if (cut > 0 && text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    if (bytes.contains('\r'))
        toLineFeeds(text);
    if (source.isTruncated) {
        const qint64 shownBytes = text.toUtf8().size();
        const QLocale locale;
        source.notice = tr("The text is too long to preview in full: only its first %1 characters are shown, "
                           "the remaining %2 of the file are not shown.")
                            .arg(locale.toString(text.size()),
                                locale.formattedDataSize(std::max<qint64>(fileSize - shownBytes, 0)));
    }
    source.text = std::move(text);
    return source;
}

namespace {

bool isLoneSurrogate(QStringView text, qsizetype i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate())
        return i + 1 == text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

bool needsEscape(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    return c < 0x20 || c == u'"' || c == u'\\' || c == 0x2028 || c == 0x2029
        || (QChar::isSurrogate(c) && isLoneSurrogate(text, i));
}

} // namespace

void PreviewSource::toLineFeeds(QString& text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// Quotes, backslashes, control characters, line and paragraph separators and
// unpaired surrogates are escaped. Runs of plain characters are copied whole.
void PreviewSource::appendLiteral(QString& script, QStringView text)
{
    script += u'"';
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!needsEscape(text, i))
            continue;
        script += text.sliced(run, i - run);
        run = i + 1;
        switch (const char16_t c = text[i].unicode()) {
        case u'"':
            script += QLatin1String("\\\"");
            break;
        case u'\\':
            script += QLatin1String("\\\\");
            break;
        case u'\n':
            script += QLatin1String("\\n");
            break;
        default:
            script += QLatin1String("\\u") + QString::number(c, 16).rightJustified(4, QLatin1Char('0'));
        }
    }
    script += text.sliced(run);
    script += u'"';
}

namespace {

// The call of the page's function: the numbers, then the two strings.
QString call(QLatin1String function, std::initializer_list<qsizetype> numbers, QStringView text, QStringView notice)
{
    QString script;
    script.reserve(function.size() + 24 * qsizetype(numbers.size()) + text.size() + notice.size() + 8);
    script += function;
    script += u'(';
    for (const qsizetype number : numbers)
        script += QString::number(number) + u',';
    PreviewSource::appendLiteral(script, text);
    script += u',';
    PreviewSource::appendLiteral(script, notice);
    script += u')';
    return script;
}

} // namespace

QString PreviewSource::script() const
{
    return call(QLatin1String("preview.show"), {}, text, notice);
}

QString PreviewSource::changeScript(const QString& shown) const
{
    const qsizetype shorter = std::min(text.size(), shown.size());
    qsizetype head = std::mismatch(text.cbegin(), text.cbegin() + shorter, shown.cbegin()).first - text.cbegin();
    // The ends never fall inside a surrogate pair, which would not survive
    // being sent alone.
    if (head > 0 && text.at(head - 1).isHighSurrogate())
        --head;
    qsizetype tail = std::mismatch(text.crbegin(), text.crbegin() + (shorter - head), shown.crbegin()).first - text.crbegin();
    if (tail > 0 && text.at(text.size() - tail).isLowSurrogate())
        --tail;
    const qsizetype middleSize = text.size() - head - tail;
    if (isTruncated && middleSize > LongMiddle) {
        if (const auto moved = movedEnd(shown, head, middleSize))
            return changeWithMovedEnd(shown, head, *moved);
    }
    const QStringView middle = QStringView(text).sliced(head, text.size() - head - tail);
    return call(QLatin1String("preview.change"), { shown.size(), head, tail }, middle, notice);
}

// A text cut to a bounded length, edited before its cut, agrees with the
// shown text after the edit only shifted by the edit's size, up to near the
// cut: the cut end moved by as much. For each small shift, how far back from
// the end the two texts agree that way; the longest agreement wins, if it
// makes what travels shorter.
std::optional<PreviewSource::MovedEnd> PreviewSource::movedEnd(
    const QString& shown, qsizetype head, qsizetype middleSize) const
{
    std::optional<MovedEnd> best;
    for (qsizetype shift = -MaxShift; shift <= MaxShift; ++shift) {
        // The last character of the text that has one in the shown text.
        qsizetype last = std::min(text.size(), shown.size() + shift) - 1;
        qsizetype agreeing = 0;
        while (last - agreeing >= head && last - agreeing - shift >= head
            && text.at(last - agreeing) == shown.at(last - agreeing - shift))
            ++agreeing;
        // Neither end of the agreeing stretch splits a surrogate pair.
        if (agreeing > 0 && text.at(last - agreeing + 1).isLowSurrogate())
            --agreeing;
        while (agreeing > 0 && last + 1 < text.size() && text.at(last + 1).isLowSurrogate()) {
            --last;
            --agreeing;
        }
        const qsizetype travelling = text.size() - head - agreeing;
        if (agreeing > 0 && travelling < middleSize && (!best || agreeing > best->agreeing))
            best = MovedEnd { shift, last, agreeing };
    }
    return best;
}

// The page joins the shown text's start, the middle and the shown text's
// end as for any change, keeps the first characters of that up to the
// agreeing stretch's end, and appends the new end.
QString PreviewSource::changeWithMovedEnd(const QString& shown, qsizetype head, const MovedEnd& moved) const
{
    const qsizetype agreeStart = moved.last + 1 - moved.agreeing;
    const qsizetype shownTail = shown.size() - (agreeStart - moved.shift);
    const QStringView middle = QStringView(text).sliced(head, agreeStart - head);
    const QStringView end = QStringView(text).sliced(moved.last + 1);
    QString script = call(QLatin1String("preview.change"), { shown.size(), head, shownTail }, middle, notice);
    script.chop(1);
    script += u',' + QString::number(moved.last + 1) + u',';
    appendLiteral(script, end);
    script += u')';
    return script;
}
