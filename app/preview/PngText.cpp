#include "app/preview/PngText.h"

#include <QtEndian>

#include <array>

namespace {

const QByteArray Signature("\x89PNG\r\n\x1a\n", 8);
// Length, type, and check of a chunk, around its data.
constexpr qsizetype ChunkFrame = 12;

// The check of a chunk's type and data: the CRC-32 of zlib and the PNG format.
quint32 crc32(const QByteArray& bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> values {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            values[n] = c;
        }
        return values;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    const QByteArray body = type + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
}

// An uncompressed chunk's text after its keyword: a Latin-1 text chunk's, or
// an international one's after its flags, language and translated keyword.
std::optional<QString> textAfterKeyword(const QByteArray& type, const QByteArray& rest)
{
    if (type == "tEXt")
        return QString::fromLatin1(rest);
    if (type != "iTXt" || rest.size() < 2 || rest[0] != '\0')
        return std::nullopt;
    const qsizetype languageEnd = rest.indexOf('\0', 2);
    const qsizetype translatedEnd = languageEnd < 0 ? -1 : rest.indexOf('\0', languageEnd + 1);
    if (translatedEnd < 0)
        return std::nullopt;
    return QString::fromUtf8(rest.mid(translatedEnd + 1));
}

} // namespace

namespace PngText {

QByteArray withText(const QByteArray& png, const QByteArray& keyword, const QString& text)
{
    const qsizetype end = png.size() - ChunkFrame;
    if (!png.startsWith(Signature) || end < Signature.size() || png.mid(end + 4, 4) != "IEND")
        return png;
    // Keyword, no compression (flag and method), no language, no translated keyword.
    const QByteArray data = keyword + QByteArray("\0\0\0\0\0", 5) + text.toUtf8();
    return png.left(end) + chunk("iTXt", data) + png.mid(end);
}

std::optional<QString> text(const QByteArray& png, const QByteArray& keyword)
{
    if (!png.startsWith(Signature))
        return std::nullopt;
    qsizetype at = Signature.size();
    while (at + ChunkFrame <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        if (qint64(length) > png.size() - at - ChunkFrame)
            return std::nullopt;
        const QByteArray type = png.mid(at + 4, 4);
        const QByteArray data = png.mid(at + 8, length);
        at += ChunkFrame + length;
        if (type == "IEND")
            break;
        if (data.startsWith(keyword + '\0')) {
            if (const auto found = textAfterKeyword(type, data.mid(keyword.size() + 1)))
                return found;
        }
    }
    return std::nullopt;
}

} // namespace PngText
