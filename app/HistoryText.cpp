#include "app/HistoryText.h"

#include <QStringDecoder>

namespace {

const QByteArray Magic = QByteArrayLiteral("Tamsel history ");

QString timeText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

// Reads "<time> <count>\n<count bytes>\n" at the position; false when the
// bytes there are no entry.
bool readEntry(const QByteArray& bytes, qsizetype& at, HistoryEntry& entry)
{
    const qsizetype lineEnd = bytes.indexOf('\n', at);
    if (lineEnd < 0 || lineEnd - at > 64)
        return false;
    const QList<QByteArray> fields = bytes.mid(at, lineEnd - at).split(' ');
    if (fields.size() != 2)
        return false;
    entry.time = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs);
    bool isNumber = false;
    const qint64 count = fields[1].toLongLong(&isNumber);
    if (!entry.time.isValid() || !isNumber || count < 0 || count > bytes.size() - lineEnd - 2)
        return false;
    const qsizetype textAt = lineEnd + 1;
    if (bytes.at(textAt + count) != '\n')
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    entry.text = decoder(QByteArrayView(bytes).sliced(textAt, count));
    if (decoder.hasError())
        return false;
    at = textAt + count + 1;
    return true;
}

} // namespace

HistoryText::Parsed HistoryText::parse(const QByteArray& bytes)
{
    Parsed parsed;
    if (bytes.isEmpty())
        return parsed;
    const qsizetype headerEnd = bytes.indexOf('\n');
    if (!bytes.startsWith(Magic) || headerEnd < 0 || headerEnd > 32)
        return { Status::Foreign, {} };
    bool isNumber = false;
    const int version = bytes.mid(Magic.size(), headerEnd - Magic.size()).toInt(&isNumber);
    if (!isNumber || version < 1)
        return { Status::Damaged, {} };
    if (version > Version)
        return { Status::Newer, {} };
    qsizetype at = headerEnd + 1;
    while (at < bytes.size()) {
        HistoryEntry entry;
        if (!readEntry(bytes, at, entry) || parsed.entries.size() >= MaxEntries)
            return { Status::Damaged, {} };
        parsed.entries.append(entry);
    }
    return parsed;
}

QByteArray HistoryText::serialize(const QList<HistoryEntry>& entries)
{
    QByteArray bytes = Magic + QByteArray::number(Version) + '\n';
    for (const HistoryEntry& entry : entries) {
        const QByteArray text = entry.text.toUtf8();
        bytes += timeText(entry.time).toLatin1() + ' ' + QByteArray::number(text.size()) + '\n';
        bytes += text + '\n';
    }
    return bytes;
}

bool HistoryText::add(QList<HistoryEntry>& entries, const HistoryEntry& entry)
{
    qint64 total = bytesOf(entry.text);
    if (total > MaxTextBytes)
        return false;
    if (!entries.isEmpty() && entries.first().text == entry.text)
        entries.removeFirst();
    entries.prepend(entry);
    qsizetype kept = 1;
    while (kept < entries.size() && kept < MaxEntries) {
        total += bytesOf(entries.at(kept).text);
        if (total > MaxTextBytes)
            break;
        ++kept;
    }
    entries.resize(kept);
    return true;
}
