// The document library's headers use "signals" as a name, which Qt defines
// as a keyword; they come first, without that definition.
#pragma push_macro("signals")
#undef signals
#include <cairo-svg.h>
#include <cairo.h>
#include <poppler.h>
#pragma pop_macro("signals")

#include "app/preview/PdfPage.h"

#include <cmath>

namespace {

template <class T>
struct GObjectDeleter {
    void operator()(T* object) const { g_object_unref(object); }
};

template <class T>
using GObjectPointer = std::unique_ptr<T, GObjectDeleter<T>>;

cairo_status_t appendToByteArray(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<QByteArray*>(closure)->append(reinterpret_cast<const char*>(data), qsizetype(length));
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

struct PdfPage::Data {
    GObjectPointer<PopplerDocument> document;
    GObjectPointer<PopplerPage> page;
};

PdfPage::PdfPage(const QByteArray& pdf)
    : m_data(std::make_unique<Data>())
{
    // The document reads from the bytes for as long as it lives; it keeps
    // its own reference to them.
    GBytes* bytes = g_bytes_new(pdf.constData(), gsize(pdf.size()));
    GError* error = nullptr;
    m_data->document.reset(poppler_document_new_from_bytes(bytes, nullptr, &error));
    g_bytes_unref(bytes);
    if (error != nullptr)
        g_error_free(error);
    if (m_data->document && poppler_document_get_n_pages(m_data->document.get()) > 0)
        m_data->page.reset(poppler_document_get_page(m_data->document.get(), 0));
}

PdfPage::~PdfPage() = default;

bool PdfPage::isValid() const
{
    return m_data->page != nullptr;
}

QSizeF PdfPage::size() const
{
    if (!isValid())
        return {};
    double width = 0;
    double height = 0;
    poppler_page_get_size(m_data->page.get(), &width, &height);
    return { width, height };
}

QImage PdfPage::image(double scale) const
{
    if (!isValid() || scale <= 0)
        return {};
    const QSizeF points = size();
    QImage image(int(std::ceil(points.width() * scale)), int(std::ceil(points.height() * scale)),
        QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    // Cairo's ARGB32 is premultiplied in native byte order, as is Qt's.
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, image.width(), image.height(), int(image.bytesPerLine()));
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, scale, scale);
    poppler_page_render(m_data->page.get(), cairo);
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return image;
}

QByteArray PdfPage::svg(const QRectF& part) const
{
    if (!isValid() || part.isEmpty())
        return {};
    QByteArray result;
    cairo_surface_t* surface = cairo_svg_surface_create_for_stream(
        appendToByteArray, &result, part.width(), part.height());
    cairo_t* cairo = cairo_create(surface);
    cairo_translate(cairo, -part.left(), -part.top());
    poppler_page_render(m_data->page.get(), cairo);
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    const bool isDrawn = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return isDrawn ? result : QByteArray();
}
