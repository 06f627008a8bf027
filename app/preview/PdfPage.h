#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSizeF>

#include <memory>

// The first page of a PDF document held in memory, drawn as an image or as
// SVG. Nothing is drawn where the page has no ink, so both come out on a
// transparent background; glyphs in the SVG are outlines.
class PdfPage {
public:
    // An empty page when the data is no PDF document or has no page.
    explicit PdfPage(const QByteArray& pdf);
    ~PdfPage();
    PdfPage(const PdfPage&) = delete;
    PdfPage& operator=(const PdfPage&) = delete;

    bool isValid() const;
    // In points.
    QSizeF size() const;
    // At scale pixels per point, premultiplied ARGB.
    QImage image(double scale) const;
    // The part of the page in the rectangle (in points), as an SVG document.
    QByteArray svg(const QRectF& part) const;

private:
    struct Data;
    std::unique_ptr<Data> m_data;
};
