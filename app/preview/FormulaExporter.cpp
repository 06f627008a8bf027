#include "app/preview/FormulaExporter.h"

#include "app/preview/FormulaImage.h"
#include "app/preview/PdfPage.h"
#include "core/ExceptionBoundary.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPageLayout>
#include <QPointer>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>

#include <memory>
#include <utility>

namespace {

const QString MathmlType = QStringLiteral("application/mathml+xml");

// A CSS pixel is a 96th of an inch, a point a 72nd.
constexpr double PointsPerCssPixel = 0.75;
// The margin left around the ink, in CSS pixels.
constexpr double MarginCssPixels = 3;
// How often, and how far apart, the MathML is asked for while the page's
// typesetter loads: loading it takes a few tens of milliseconds, and a page
// that cannot load it says so at once.
constexpr int MathmlAsks = 100;
constexpr int MathmlAskPauseMs = 20;

QMimeData* textData(const QString& text)
{
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

QMimeData* imageData(const QByteArray& png, const QString& tex)
{
    auto* data = textData(tex);
    data->setData(QStringLiteral("image/png"), png);
    data->setHtml(QStringLiteral("<img src=\"data:image/png;base64,%1\" alt=\"%2\">")
                      .arg(QString::fromLatin1(png.toBase64()), tex.toHtmlEscaped()));
    return data;
}

QMimeData* svgData(const QByteArray& svg, const QString& tex)
{
    auto* data = textData(tex);
    data->setData(QStringLiteral("image/svg+xml"), svg);
    return data;
}

QPageLayout pageOf(const QSizeF& cssPixels)
{
    const QPageSize size(cssPixels * PointsPerCssPixel, QPageSize::Point, QString(), QPageSize::ExactMatch);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF());
}

// The image says how dense it is, so programs that place it at its physical
// size show it as large as the preview does.
QImage printable(QImage image, double density)
{
    constexpr double InchesPerMeter = 1 / 0.0254;
    const int dotsPerMeter = qRound(density * 96 * InchesPerMeter);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

} // namespace

FormulaExporter::FormulaExporter(QWebEnginePage* page, QObject* parent)
    : QObject(parent)
    , m_page(page)
{
}

void FormulaExporter::describeAt(const QPoint& point, std::function<void(const ExportTarget&)> done)
{
    const double zoom = m_page->zoomFactor();
    const QString script = QStringLiteral("previewExport.describe(%1, %2)").arg(point.x() / zoom).arg(point.y() / zoom);
    const QPointer<FormulaExporter> self(this);
    m_page->runJavaScript(script, [self, done](const QVariant& result) {
        if (!self)
            return;
        const QVariantMap map = result.toMap();
        ExportTarget target;
        target.isFormula = map.value(QStringLiteral("isFormula")).toBool();
        target.tex = map.value(QStringLiteral("tex")).toString();
        target.hasImage = map.value(QStringLiteral("hasImage")).toBool();
        target.hasMathml = map.value(QStringLiteral("hasMathml")).toBool();
        target.selection = map.value(QStringLiteral("selection")).toString();
        const QSizeF size(map.value(QStringLiteral("width")).toDouble(), map.value(QStringLiteral("height")).toDouble());
        if (target.hasImage && !self->fits(size)) {
            target.hasImage = false;
            target.isTooLarge = true;
        }
        guarded(self.data(), [&] { done(target); });
    });
}

bool FormulaExporter::canCopy(Format format, const ExportTarget& target)
{
    switch (format) {
    case Tex:
        return !target.tex.isEmpty();
    case MathML:
        return target.hasMathml;
    case Image:
    case Svg:
        return target.hasImage;
    }
    return false;
}

bool FormulaExporter::fits(const QSizeF& cssPixels) const
{
    return cssPixels.height() <= MaxImageCssHeight
        && cssPixels.width() * cssPixels.height() * m_density * m_density <= MaxImagePixels;
}

void FormulaExporter::copySelection()
{
    const QPointer<FormulaExporter> self(this);
    m_page->runJavaScript(QStringLiteral("previewExport.selectionSource()"), [self](const QVariant& result) {
        const QString source = result.toString();
        if (self && !source.isEmpty())
            guarded(self.data(), [&] { QGuiApplication::clipboard()->setText(source); });
    });
}

void FormulaExporter::copy(Format format, const ExportTarget& target, std::function<void(bool)> done)
{
    make(format, target, [done](QMimeData* data) {
        if (data != nullptr)
            QGuiApplication::clipboard()->setMimeData(data);
        if (done)
            done(data != nullptr);
    });
}

void FormulaExporter::make(Format format, const ExportTarget& target, std::function<void(QMimeData*)> done)
{
    if (!canCopy(format, target))
        return done(nullptr);
    if (format == Tex)
        return done(textData(target.tex));
    if (format == MathML)
        return makeMathml(target, std::move(done));
    makeImage(format, target, std::move(done));
}

// The page serialises the MathML it makes as XML, so any XML reader takes it.
void FormulaExporter::makeMathml(const ExportTarget&, std::function<void(QMimeData*)> done)
{
    askForMathml(MathmlAsks, std::move(done));
}

// The page loads the typesetter that makes the MathML only after its first
// text is on screen; until it has, it answers null, and the question goes
// again a little later.
void FormulaExporter::askForMathml(int asksLeft, std::function<void(QMimeData*)> done)
{
    const QPointer<FormulaExporter> self(this);
    m_page->runJavaScript(QStringLiteral("previewExport.mathml()"), [self, asksLeft, done](const QVariant& result) {
        if (!self)
            return;
        guarded(self.data(), [&] {
            if (result.isNull() && asksLeft > 1) {
                QTimer::singleShot(MathmlAskPauseMs, self.data(), [self, asksLeft, done] {
                    if (self)
                        guarded(self.data(), [&] { self->askForMathml(asksLeft - 1, done); });
                });
                return;
            }
            const QString xml = result.toString();
            if (xml.isEmpty())
                return done(nullptr);
            auto* data = textData(xml);
            data->setData(MathmlType, xml.toUtf8());
            done(data);
        });
    });
}

void FormulaExporter::makeImage(Format format, const ExportTarget& target, std::function<void(QMimeData*)> done)
{
    const QPointer<FormulaExporter> self(this);
    const QString tex = target.tex;
    print([self, format, tex, done](const QByteArray& pdf) {
        const QByteArray drawn = self->draw(PdfPage(pdf), format, tex);
        if (drawn.isEmpty())
            return done(nullptr);
        done(format == Image ? imageData(drawn, tex) : svgData(drawn, tex));
    });
}

void FormulaExporter::makeAll(const ExportTarget& target, std::function<void(QMimeData*)> done)
{
    if (!canCopy(Image, target))
        return done(nullptr);
    const QPointer<FormulaExporter> self(this);
    const QString tex = target.tex;
    const auto withImages = [self, tex, done](QMimeData* mathml) {
        std::shared_ptr<QMimeData> kept(mathml);
        self->print([self, tex, done, kept](const QByteArray& pdf) {
            const PdfPage page(pdf);
            const QByteArray png = self->draw(page, Image, tex);
            const QByteArray svg = self->draw(page, Svg, tex);
            if (png.isEmpty() || svg.isEmpty())
                return done(nullptr);
            QMimeData* data = imageData(png, tex);
            data->setData(QStringLiteral("image/svg+xml"), svg);
            if (kept)
                data->setData(MathmlType, kept->data(MathmlType));
            done(data);
        });
    };
    if (!canCopy(MathML, target))
        return withImages(nullptr);
    makeMathml(target, withImages);
}

// The page lays the formula out alone and says how large it is; the engine
// prints that to a PDF page of the same size. Done gets an empty document
// when there is nothing to print or a print is under way.
void FormulaExporter::print(std::function<void(const QByteArray&)> done)
{
    if (m_isPrinting)
        return done(QByteArray());
    m_isPrinting = true;
    const QPointer<FormulaExporter> self(this);
    // The page lays out nothing larger than an image is made of.
    const QString script = QStringLiteral("previewExport.prepareImage(%1, %2)")
                               .arg(MaxImagePixels / (m_density * m_density))
                               .arg(MaxImageCssHeight);
    m_page->runJavaScript(script, [self, done](const QVariant& box) {
        if (!self)
            return;
        const QVariantMap map = box.toMap();
        const QSizeF size(map.value(QStringLiteral("width")).toDouble(), map.value(QStringLiteral("height")).toDouble());
        if (size.isEmpty()) {
            self->m_isPrinting = false;
            return guarded(self.data(), [&] { done(QByteArray()); });
        }
        // The engine paints the page's backdrop on every printed page; the
        // image gets none.
        self->m_printed = done;
        self->m_backdrop = self->m_page->backgroundColor();
        self->m_page->setBackgroundColor(Qt::transparent);
        self->m_page->printToPdf(
            [self](const QByteArray& pdf) {
                if (self)
                    self->onPrinted(pdf);
            },
            pageOf(size));
    });
}

void FormulaExporter::onPrinted(const QByteArray& pdf)
{
    m_isPrinting = false;
    m_page->setBackgroundColor(m_backdrop);
    m_page->runJavaScript(QStringLiteral("previewExport.finishImage()"));
    const auto done = std::exchange(m_printed, nullptr);
    guarded(this, [&] { done(pdf); });
}

QByteArray FormulaExporter::draw(const PdfPage& page, Format format, const QString& tex) const
{
    const double scale = m_density / PointsPerCssPixel;
    const QImage image = page.image(scale);
    const QRect frame = FormulaImage::inkFrame(image, qRound(MarginCssPixels * m_density));
    if (frame.isEmpty())
        return QByteArray();
    if (format == Image)
        return FormulaImage::png(printable(image.copy(frame), m_density), tex);
    const QRectF part(QPointF(frame.topLeft()) / scale, QSizeF(frame.size()) / scale);
    return FormulaImage::svgWithTex(page.svg(part), tex);
}
