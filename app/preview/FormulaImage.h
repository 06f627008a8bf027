#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <optional>

class QMimeData;

// The images a formula leaves the program as, and the TeX they carry back:
// a PNG holds it in a text chunk, an SVG in its metadata. An image without
// it is someone else's and gives nothing back.
class FormulaImage {
public:
    // The smallest rectangle holding every pixel with any ink; empty for a
    // blank image.
    static QRect inkBounds(const QImage& image);
    // The ink bounds grown by the margin on each side, within the image.
    static QRect inkFrame(const QImage& image, int margin);

    static QByteArray png(const QImage& image, const QString& tex);
    static QByteArray svgWithTex(const QByteArray& svg, const QString& tex);

    static std::optional<QString> texOfPng(const QByteArray& png);
    static std::optional<QString> texOfSvg(const QByteArray& svg);
    // The TeX inside an image among the data (as PNG or SVG data, or as a
    // file of either in a list of local files), or nothing.
    static std::optional<QString> texOf(const QMimeData* data);
};
