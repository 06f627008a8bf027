#include "app/preview/FormulaImage.h"

#include <QBuffer>
#include <QFile>
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

bool hasInk(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) != 0;
}

QByteArray fileContents(const QUrl& url)
{
    QFile file(url.toLocalFile());
    if (file.size() > LargestImageFile || !file.open(QIODevice::ReadOnly))
        return {};
    return file.read(LargestImageFile);
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

QByteArray FormulaImage::png(const QImage& image, const QString& tex)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setText(PngKey, tex);
    return writer.write(image) ? data : QByteArray();
}

std::optional<QString> FormulaImage::texOfPng(const QByteArray& png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    if (!reader.canRead() || !reader.textKeys().contains(PngKey))
        return std::nullopt;
    return reader.text(PngKey);
}

// The metadata goes in as the root element's first child; the TeX in it is
// escaped as XML text.
QByteArray FormulaImage::svgWithTex(const QByteArray& svg, const QString& tex)
{
    const qsizetype root = svg.indexOf("<svg");
    const qsizetype rootEnd = root < 0 ? -1 : svg.indexOf('>', root);
    if (rootEnd < 0)
        return svg;
    const QByteArray metadata = QStringLiteral("\n<metadata><%1 xmlns=\"%2\">%3</%1></metadata>")
                                    .arg(SvgElement, SvgNamespace, tex.toHtmlEscaped())
                                    .toUtf8();
    return QByteArray(svg).insert(rootEnd + 1, metadata);
}

std::optional<QString> FormulaImage::texOfSvg(const QByteArray& svg)
{
    QXmlStreamReader reader(svg);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.namespaceUri() == SvgNamespace && reader.name() == SvgElement)
            return reader.readElementText();
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
