#pragma once

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QSizeF>
#include <QString>

#include <functional>

class PdfPage;
class QMimeData;
class QWebEnginePage;

// What lies at a point of the preview: a formula, or the whole preview when
// the point is on none.
struct ExportTarget {
    bool isFormula = false;
    // The formula's source with its delimiters, or the whole preview's.
    QString tex;
    // A formula shown as an error has neither.
    bool hasImage = false;
    bool hasMathml = false;
    // What is selected in the preview, as its source; empty when nothing is.
    QString selection;
    // An image of it would be larger than an image export makes; it has none.
    bool isTooLarge = false;
};

// Puts a formula of the preview on the clipboard in the forms other programs
// take: its TeX, its MathML, a PNG and an SVG. The images come from the
// page's own typesetting: the page lays the formula out alone and the engine
// prints it to PDF, which is drawn in dark ink on a transparent background.
class FormulaExporter : public QObject {
    Q_OBJECT

public:
    enum Format { Tex, MathML, Image, Svg };
    Q_ENUM(Format)

    explicit FormulaExporter(QWebEnginePage* page, QObject* parent = nullptr);

    // An image export makes at most this many pixels, and a page at most this
    // many CSS pixels high (the tallest page a PDF holds, 200 inches): about
    // thirty screens of the preview at twice the screen's density. Past it
    // the image would take gigabytes and minutes to make.
    static constexpr double MaxImagePixels = 40e6;
    static constexpr double MaxImageCssHeight = 19200;

    // Image pixels per CSS pixel.
    double density() const { return m_density; }
    void setDensity(double density) { m_density = density; }

    // Asks the page what lies at the point of the view.
    void describeAt(const QPoint& point, std::function<void(const ExportTarget&)> done);
    static bool canCopy(Format format, const ExportTarget& target);
    // Whether an image of that many CSS pixels is within the bounds above at
    // the density.
    bool fits(const QSizeF& cssPixels) const;
    // Puts what is selected in the preview on the clipboard as its source:
    // the formulas it touches as their TeX with delimiters, the text between
    // them as it reads. With nothing selected the clipboard stays as it was.
    void copySelection();
    // Makes the form and puts it on the clipboard; done tells whether it did.
    void copy(Format format, const ExportTarget& target, std::function<void(bool)> done = {});
    // The form as clipboard data, made the same way; null when it cannot be.
    void make(Format format, const ExportTarget& target, std::function<void(QMimeData*)> done);
    // Every form that applies in one piece of data, as a drag carries them:
    // the TeX as text, the MathML, the PNG (also as HTML) and the SVG, made
    // from one print; null when the target has no image.
    void makeAll(const ExportTarget& target, std::function<void(QMimeData*)> done);

private:
    void makeMathml(const ExportTarget& target, std::function<void(QMimeData*)> done);
    void askForMathml(int asksLeft, std::function<void(QMimeData*)> done);
    void makeImage(Format format, const ExportTarget& target, std::function<void(QMimeData*)> done);
    void print(std::function<void(const QByteArray&)> done);
    void onPrinted(const QByteArray& pdf);
    // The printed formula as a PNG or an SVG; empty when it has no ink.
    QByteArray draw(const PdfPage& page, Format format, const QString& tex) const;

    QWebEnginePage* m_page;
    double m_density = 2;
    // The engine prints one document at a time.
    bool m_isPrinting = false;
    QColor m_backdrop;
    std::function<void(const QByteArray&)> m_printed;
};
