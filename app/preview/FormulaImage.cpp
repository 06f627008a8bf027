#include "app/preview/FormulaImage.h"

#include "app/preview/PngText.h"
#include "platform/RegularFile.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

// The PNG text chunk's keyword.
const QString PngKey = QStringLiteral("TeX");
// The SVG metadata element that holds the TeX.
const QString SvgNamespace = QStringLiteral("urn:x-tamsel:tex");
const QString SvgElement = QStringLiteral("tex");

// Files larger than this are no formula of ours and are not read.
constexpr qint64 LargestImageFile = 16 * 1024 * 1024;

// Whether XML keeps the text as it is: no control character but tab and
// line feed, no lone surrogate, no U+FFFE or U+FFFF.
bool isXmlText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if ((c < 0x20 && c != u'\t' && c != u'\n') || c == 0xFFFE || c == 0xFFFF)
            return false;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        else if (QChar::isSurrogate(c))
            return false;
    }
    return true;
}

bool hasInk(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) != 0;
}

// Only a regular file is opened, without blocking, and read only when it is
// small enough: a FIFO named in a list of files would otherwise hold the
// window until something wrote to it.
QByteArray fileContents(const QUrl& url)
{
    return ReadRegularFile(url.toLocalFile(), LargestImageFile).value_or(QByteArray());
}

} // namespace

QRect FormulaImage::inkBounds(const QImage& image)
{
    int left = image.width();
    int right = -1;
    int top = image.height();
    int bottom = -1;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (!hasInk(argb, x, y))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect FormulaImage::inkFrame(const QImage& image, int margin)
{
    const QRect ink = inkBounds(image);
    if (ink.isEmpty())
        return {};
    return ink.adjusted(-margin, -margin, margin, margin).intersected(image.rect());
}

// The TeX goes into a text chunk of its own, byte for byte (see PngText).
QByteArray FormulaImage::png(const QImage& image, const QString& tex)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    return writer.write(image) ? PngText::withText(data, PngKey.toLatin1(), tex) : QByteArray();
}

// An image of an earlier version holds the TeX in a compressed chunk, which
// the toolkit's reader reads.
std::optional<QString> FormulaImage::texOfPng(const QByteArray& png)
{
    if (auto tex = PngText::text(png, PngKey.toLatin1()))
        return tex;
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    if (!reader.canRead() || !reader.textKeys().contains(PngKey))
        return std::nullopt;
    return reader.text(PngKey);
}

// The metadata goes in as the root element's first child; the TeX in it is
// escaped as XML text. XML holds no control character but tab and line feed
// as they are (not even as a reference, and a carriage return becomes a line
// feed when read), nor a lone surrogate: a TeX with one of those goes in as
// the base64 of its UTF-8, marked so, and comes back the same.
QByteArray FormulaImage::svgWithTex(const QByteArray& svg, const QString& tex)
{
    const qsizetype root = svg.indexOf("<svg");
    const qsizetype rootEnd = root < 0 ? -1 : svg.indexOf('>', root);
    if (rootEnd < 0)
        return svg;
    const bool isPlain = isXmlText(tex);
    const QString content = isPlain ? tex.toHtmlEscaped() : QString::fromLatin1(tex.toUtf8().toBase64());
    const QByteArray metadata = QStringLiteral("\n<metadata><%1 xmlns=\"%2\"%3>%4</%1></metadata>")
                                    .arg(SvgElement, SvgNamespace,
                                        isPlain ? QString() : QStringLiteral(" encoding=\"base64\""), content)
                                    .toUtf8();
    return QByteArray(svg).insert(rootEnd + 1, metadata);
}

std::optional<QString> FormulaImage::texOfSvg(const QByteArray& svg)
{
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.namespaceUri() == SvgNamespace && reader.name() == SvgElement) {
            const bool isBase64 = reader.attributes().value(QLatin1String("encoding")) == QLatin1String("base64");
            const QString text = reader.readElementText();
            if (reader.hasError())
                return std::nullopt;
            return isBase64 ? QString::fromUtf8(QByteArray::fromBase64(text.toLatin1())) : text;
        }
    }
    return std::nullopt;
}

std::optional<QString> FormulaImage::texOf(const QMimeData* data)
{
    if (data == nullptr)
        return std::nullopt;
    if (data->hasFormat(QStringLiteral("image/png")))
        return texOfPng(data->data(QStringLiteral("image/png")));
    if (data->hasFormat(QStringLiteral("image/svg+xml")))
        return texOfSvg(data->data(QStringLiteral("image/svg+xml")));
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive))
            return texOfPng(fileContents(url));
        if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
            return texOfSvg(fileContents(url));
    }
    return std::nullopt;
}
