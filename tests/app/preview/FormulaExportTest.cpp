#include "app/preview/FormulaDrag.h"
#include "app/preview/FormulaExporter.h"
#include "app/preview/FormulaImage.h"
#include "app/preview/PreviewContextMenu.h"
#include "app/preview/TWebBrowser.h"
#include "TestSupport.h"
#include "controls/TMemo.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QFile>
#include <QFileInfo>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QUrl>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QXmlStreamReader>
#include <QAction>
#include <QMenu>

#include <memory>

#include <sys/stat.h>

namespace {

constexpr int TimeoutMs = 20000;

QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    std::optional<QVariant> value;
    page->runJavaScript(script, [&value](const QVariant& result) { value = result; });
    EXPECT_TRUE(TestSupport::waitUntil([&] { return value.has_value(); }, TimeoutMs)) << script.toStdString();
    return value.value_or(QVariant());
}

// The MathML's root element name and its TeX annotation.
std::pair<QString, QString> readMathml(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    QString root;
    QString annotation;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && root.isEmpty())
            root = reader.name().toString();
        if (reader.isStartElement() && reader.name() == QLatin1String("annotation"))
            annotation = reader.readElementText();
    }
    return { reader.hasError() ? QStringLiteral("error: ") + reader.errorString() : root, annotation };
}

QString svgRoot(const QByteArray& svg)
{
    QXmlStreamReader reader(svg);
    while (!reader.atEnd() && !reader.isStartElement())
        reader.readNext();
    return reader.name().toString();
}

class FormulaExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 480);
        m_browser = new TWebBrowser(m_window.get());
        m_browser->setWidth(640);
        m_browser->setHeight(480);
        m_window->show();
        m_exporter = m_browser->contextMenu()->exporter();
    }

    bool show(const QString& text)
    {
        const QString path = m_dir.filePath(QStringLiteral("preview.tex"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(text.toUtf8());
        file.close();
        QSignalSpy spy(m_browser, &TWebBrowser::rendered);
        m_browser->Navigate(path);
        return spy.wait(TimeoutMs);
    }

    QVariantMap js(const QString& script) { return evaluate(m_browser->page(), script).toMap(); }

    ExportTarget describe(const QPoint& point)
    {
        std::optional<ExportTarget> target;
        m_exporter->describeAt(point, [&](const ExportTarget& found) { target = found; });
        EXPECT_TRUE(TestSupport::waitUntil([&] { return target.has_value(); }, TimeoutMs));
        return target.value_or(ExportTarget());
    }

    std::unique_ptr<QMimeData> make(FormulaExporter::Format format, const ExportTarget& target)
    {
        bool isDone = false;
        std::unique_ptr<QMimeData> data;
        m_exporter->make(format, target, [&](QMimeData* made) {
            data.reset(made);
            isDone = true;
        });
        EXPECT_TRUE(TestSupport::waitUntil([&] { return isDone; }, TimeoutMs));
        return data;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_window;
    TWebBrowser* m_browser = nullptr;
    FormulaExporter* m_exporter = nullptr;
};

struct Case {
    const char* text;
    const char* source;
    bool isError;
};

} // namespace

TEST_F(FormulaExportTest, EachFormulaLeavesInEveryFormThatAppliesAndCarriesItsTexBack)
{
    const Case cases[] = {
        { "a $x^2+y$ b", "x^2+y", false },
        { "text\n$$\\int_0^1 f(t)\\,dt$$\nmore", "\\int_0^1 f(t)\\,dt", false },
        { "$\\begin{pmatrix}a&b\\\\c&d\\end{pmatrix}$", "\\begin{pmatrix}a&b\\\\c&d\\end{pmatrix}", false },
        { "so \\(\\frac{1}{1+\\frac{1}{1+\\frac{1}{x}}}\\) it", "\\frac{1}{1+\\frac{1}{1+\\frac{1}{x}}}", false },
        { "a $\\nosuchcommand{x}$ b", "\\nosuchcommand{x}", true },
    };
    m_exporter->setDensity(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(show(QString::fromUtf8(c.text)));
        const auto measure = [&] { return js(QStringLiteral(
            "(() => { const n = document.querySelector('#content .katex-html, #content .preview-error');"
            " const b = Array.from(n.querySelectorAll('.base')).map((e) => e.getBoundingClientRect());"
            " const r = b.length ? b.reduce((u, e) => new DOMRect(Math.min(u.x, e.x), Math.min(u.y, e.y),"
            "   Math.max(u.right, e.right) - Math.min(u.x, e.x), Math.max(u.bottom, e.bottom) - Math.min(u.y, e.y)))"
            "   : n.getClientRects()[0];"
            " return { x: r.x + r.width / 2, y: r.y + r.height / 2, w: r.width, h: r.height }; })()")); };
        QVariantMap box = measure();
        const ExportTarget target = describe(QPoint(box["x"].toInt(), box["y"].toInt()));
        const QString source = QString::fromUtf8(c.source);
        EXPECT_TRUE(target.isFormula);
        EXPECT_TRUE(target.tex.contains(source) && target.tex.size() > source.size()) << "with its delimiters";

        const auto tex = make(FormulaExporter::Tex, target);
        ASSERT_TRUE(tex);
        EXPECT_EQ(tex->formats(), QStringList { QStringLiteral("text/plain") });
        EXPECT_EQ(tex->text(), target.tex);

        const auto mathml = make(FormulaExporter::MathML, target);
        const auto image = make(FormulaExporter::Image, target);
        const auto svg = make(FormulaExporter::Svg, target);
        if (c.isError) {
            EXPECT_FALSE(mathml || image || svg) << "an error has only its TeX";
            continue;
        }
        ASSERT_TRUE(mathml && image && svg);
        EXPECT_TRUE(mathml->hasFormat(QStringLiteral("application/mathml+xml")) && mathml->hasText());
        const auto [root, annotation] = readMathml(mathml->data(QStringLiteral("application/mathml+xml")));
        EXPECT_EQ(root, QStringLiteral("math"));
        EXPECT_EQ(annotation, source);

        EXPECT_TRUE(image->hasFormat(QStringLiteral("image/png")) && image->hasHtml());
        EXPECT_EQ(image->text(), target.tex);
        const QByteArray png = image->data(QStringLiteral("image/png"));
        const QImage picture = QImage::fromData(png, "png");
        // The ink fills the formula's box, give or take what glyphs overhang
        // it and the margin, at twice the density. The box is measured again:
        // a font that arrived after the first measure changes it.
        box = measure();
        const double slack = 2 * 16.0;
        EXPECT_NEAR(picture.width(), 2 * box["w"].toDouble(), slack);
        EXPECT_NEAR(picture.height(), 2 * box["h"].toDouble(), slack + 2 * 8);
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0) << "a transparent background";
        EXPECT_EQ(FormulaImage::texOfPng(png), target.tex);

        const QByteArray svgData = svg->data(QStringLiteral("image/svg+xml"));
        EXPECT_EQ(svgRoot(svgData), QStringLiteral("svg"));
        EXPECT_EQ(FormulaImage::texOfSvg(svgData), target.tex);
    }
}

// The MathML of a formula is made with the definitions that come before it
// in the text, as its drawing is.
TEST_F(FormulaExportTest, MathmlHoldsTheDefinitionsBeforeTheFormula)
{
    ASSERT_TRUE(show(QStringLiteral("\\newcommand{\\qq}{Q}\nsee $\\gdef\\ww{W}$ and $\\qq\\ww$")));
    const QVariantMap box = js(QStringLiteral("(() => { const r = Array.from(document.querySelectorAll('#content .katex-html'))"
                                              ".pop().getBoundingClientRect(); return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; })()"));
    const ExportTarget target = describe(QPoint(box["x"].toInt(), box["y"].toInt()));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return js(QStringLiteral("({ ready: typeof katex !== 'undefined' })"))["ready"].toBool(); },
        TimeoutMs));
    const auto mathml = make(FormulaExporter::MathML, target);
    ASSERT_TRUE(mathml);
    const QByteArray xml = mathml->data(QStringLiteral("application/mathml+xml"));
    EXPECT_TRUE(xml.contains("<mi>Q</mi>") && xml.contains("<mi>W</mi>")) << xml.toStdString();
}

TEST_F(FormulaExportTest, APointOnNoFormulaStandsForTheWholePreview)
{
    ASSERT_TRUE(show(QStringLiteral("see $a$ and\n$$b$$\nend")));
    const ExportTarget target = describe(QPoint(630, 470));
    EXPECT_FALSE(target.isFormula);
    EXPECT_EQ(target.tex, QStringLiteral("see $a$ and\n$$b$$\nend"));
    EXPECT_FALSE(FormulaExporter::canCopy(FormulaExporter::MathML, target));
    EXPECT_TRUE(FormulaExporter::canCopy(FormulaExporter::Image, target));
}

// An image of a preview longer than an image holds is not made: the target
// says it is too large, offers its TeX, and making the image anyway gives
// nothing without laying the preview out again.
TEST_F(FormulaExportTest, AWholePreviewTooLargeForAnImageOffersItsTexInstead)
{
    QString text;
    for (int i = 0; i < 600; ++i)
        text += QStringLiteral("$$\\frac{a_{%1}}{b} = c$$\n").arg(i);
    ASSERT_TRUE(show(text));
    ExportTarget target = describe(QPoint(630, 470));
    EXPECT_FALSE(target.isFormula);
    EXPECT_TRUE(target.isTooLarge);
    EXPECT_TRUE(FormulaExporter::canCopy(FormulaExporter::Tex, target));
    EXPECT_FALSE(FormulaExporter::canCopy(FormulaExporter::Image, target));
    EXPECT_FALSE(FormulaExporter::canCopy(FormulaExporter::Svg, target));

    target.hasImage = true;
    EXPECT_TRUE(make(FormulaExporter::Image, target) == nullptr);
    EXPECT_EQ(js(QStringLiteral("({ n: document.getElementById('export').childElementCount })")).value(QStringLiteral("n")).toInt(), 0);

    // A formula of it is still an image.
    const QVariantMap box = js(QStringLiteral("(function () { const b = document.querySelector('.katex').getBoundingClientRect();"
                                              " return { x: b.left + b.width / 2, y: b.top + b.height / 2 }; })()"));
    const ExportTarget formula = describe(QPoint(box.value(QStringLiteral("x")).toInt(), box.value(QStringLiteral("y")).toInt()));
    EXPECT_TRUE(formula.isFormula);
    EXPECT_TRUE(FormulaExporter::canCopy(FormulaExporter::Image, formula));
}

// A selection across the preview is copied as its source: the formulas it
// touches, even in part, as their TeX with delimiters, the text between them
// as it reads; the menu offers it at its top.
TEST_F(FormulaExportTest, ASelectionIsCopiedAsItsSource)
{
    // Selects from the first shown text holding `from` to the end of the
    // first one after it holding `to` (typeset glyphs included).
    const QString select = QStringLiteral(
        "(() => { const w = document.createTreeWalker(document.getElementById('content'), NodeFilter.SHOW_TEXT,"
        "  { acceptNode: (n) => n.parentElement.closest('.katex-mathml') ? 2 : 1 }); const r = document.createRange();"
        " let n, isStarted = false; while ((n = w.nextNode())) {"
        "  if (!isStarted && n.data.includes('%1')) { r.setStart(n, n.data.indexOf('%1')); isStarted = true; }"
        "  if (isStarted && n.data.includes('%2')) { r.setEnd(n, n.data.indexOf('%2') + %3); break; } }"
        " getSelection().removeAllRanges(); getSelection().addRange(r); return getSelection().toString(); })()");
    const char* const text = "Let $x^2$ be, and\n$$\\frac{a}{b}$$\nthen \\(y\\) ends.";
    const struct { const char* from; const char* to; const char* expected; } cases[] = {
        { "be,", "then", "be, and\n$$\\frac{a}{b}$$\nthen" },
        { "Let", "x", "Let $x^2$" },
        { "and", "and", "and" },
        { "then", "ends", "then \\(y\\) ends" },
    };
    ASSERT_TRUE(show(QString::fromUtf8(text)));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const QString to = QString::fromUtf8(c.to);
        evaluate(m_browser->page(), select.arg(QString::fromUtf8(c.from), to).arg(to.size()));
        const ExportTarget target = describe(QPoint(630, 470));
        EXPECT_EQ(target.selection, QString::fromUtf8(c.expected));
        QMenu* menu = m_browser->contextMenu()->menu();
        m_browser->contextMenu()->popup(QPoint(630, 470));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return menu->isVisible() && menu->actions()[0]->isVisible(); }, TimeoutMs));
        menu->actions()[0]->trigger();
        menu->hide();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(c.expected));
    }
    evaluate(m_browser->page(), QStringLiteral("getSelection().removeAllRanges()"));
    EXPECT_EQ(describe(QPoint(630, 470)).selection, QString());
}

TEST_F(FormulaExportTest, ADragCarriesEveryFormAndThePicturesAsPrivateFiles)
{
    const Case cases[] = {
        { "$$\\frac{a}{b}$$", "\\frac{a}{b}", false },
        { "$$\\nosuchcommand{x}$$", "\\nosuchcommand{x}", true },
    };
    FormulaDrag* drag = m_browser->formulaDrag();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(show(QString::fromUtf8(c.text)));
        const ExportTarget target = describe(QPoint(5, 5));
        bool isDone = false;
        std::unique_ptr<QMimeData> data;
        drag->makeData(target, [&](QMimeData* made) {
            data.reset(made);
            isDone = true;
        });
        ASSERT_TRUE(TestSupport::waitUntil([&] { return isDone; }, TimeoutMs));
        if (c.isError) {
            EXPECT_FALSE(data) << "an error is no picture to drag";
            continue;
        }
        ASSERT_TRUE(data);
        EXPECT_EQ(data->text(), target.tex);
        const auto [root, annotation] = readMathml(data->data(QStringLiteral("application/mathml+xml")));
        EXPECT_EQ(annotation, QString::fromUtf8(c.source));
        EXPECT_EQ(FormulaImage::texOfPng(data->data(QStringLiteral("image/png"))), target.tex);
        EXPECT_EQ(FormulaImage::texOfSvg(data->data(QStringLiteral("image/svg+xml"))), target.tex);
        const QList<QUrl> urls = data->urls();
        ASSERT_EQ(urls.size(), 2);
        QFile png(urls[0].toLocalFile());
        QFile svg(urls[1].toLocalFile());
        ASSERT_TRUE(png.open(QIODevice::ReadOnly) && svg.open(QIODevice::ReadOnly));
        EXPECT_EQ(png.readAll(), data->data(QStringLiteral("image/png")));
        EXPECT_EQ(svg.readAll(), data->data(QStringLiteral("image/svg+xml")));
        const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        EXPECT_FALSE(QFileInfo(drag->folder()).permissions() & others) << "the folder is the user's alone";
    }
}

TEST(FormulaImageTest, OnlyAnImageOfOursGivesTexBack)
{
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    const QByteArray ours = FormulaImage::png(picture, QStringLiteral("$x<y & \"z\"$"));
    QByteArray foreign;
    QBuffer buffer(&foreign);
    picture.save(&buffer, "png");
    const QByteArray svg = FormulaImage::svgWithTex("<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"><g/></svg>",
        QStringLiteral("$x<y & \"z\"$"));
    EXPECT_EQ(FormulaImage::texOfPng(ours), QStringLiteral("$x<y & \"z\"$"));
    EXPECT_EQ(FormulaImage::texOfSvg(svg), QStringLiteral("$x<y & \"z\"$"));
    EXPECT_EQ(FormulaImage::texOfPng(foreign), std::nullopt);
    EXPECT_EQ(FormulaImage::texOfPng("not a picture"), std::nullopt);
    EXPECT_EQ(FormulaImage::texOfSvg("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"), std::nullopt);

    QMimeData data;
    data.setData(QStringLiteral("image/png"), ours);
    EXPECT_EQ(FormulaImage::texOf(&data), QStringLiteral("$x<y & \"z\"$"));
    data.setData(QStringLiteral("image/png"), foreign);
    EXPECT_EQ(FormulaImage::texOf(&data), std::nullopt);
}

namespace {

// Drops the data on the editor as a drag from another program does.
void drop(TMemo* memo, QMimeData* data)
{
    const QPoint at = memo->viewport()->rect().bottomRight() - QPoint(2, 2);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(memo->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(memo->viewport(), &move);
    QDropEvent dropped(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(memo->viewport(), &dropped);
}

} // namespace

// Our image, pasted or dropped, as data or as a file, gives its TeX back;
// someone else's image gives nothing, and a FIFO named like an image holds
// nothing up.
TEST(FormulaImageTest, PastingOrDroppingOurImageIntoTheEditorBringsItsTexBack)
{
    QWidget window;
    auto* memo = new TMemo(&window);
    memo->TextOfOtherData = [](const QMimeData* data) { return FormulaImage::texOf(data).value_or(QString()); };
    window.resize(300, 200);
    memo->resize(300, 200);
    window.show();
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(Qt::black);
    QByteArray foreign;
    QBuffer buffer(&foreign);
    picture.save(&buffer, "png");
    const QByteArray ours = FormulaImage::png(picture, QStringLiteral("$a^2$"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.png"));
    const QString fifo = dir.filePath(QStringLiteral("x.png"));
    {
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(ours) == ours.size());
    }
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto png = [](const QByteArray& bytes) {
        auto* data = new QMimeData;
        data->setData(QStringLiteral("image/png"), bytes);
        return data;
    };
    const auto files = [](const QString& path) {
        auto* data = new QMimeData;
        data->setUrls({ QUrl::fromLocalFile(path) });
        return data;
    };
    const struct {
        const char* what;
        bool isDropped;
        QMimeData* data;
        QString expected;
    } cases[] = {
        { "our image pasted", false, png(ours), QStringLiteral("x $a^2$") },
        { "another image pasted", false, png(foreign), QStringLiteral("x ") },
        { "our image dropped", true, png(ours), QStringLiteral("x $a^2$") },
        { "our image's file dropped", true, files(file), QStringLiteral("x $a^2$") },
        // As any file that is no image of ours: its name, and no wait.
        { "a FIFO named x.png dropped", true, files(fifo), QStringLiteral("x ") + QUrl::fromLocalFile(fifo).toString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        memo->SetText(QStringLiteral("x "));
        memo->moveCursor(QTextCursor::End);
        if (c.isDropped) {
            drop(memo, c.data);
            delete c.data;
        } else {
            const QString format = c.data->formats().constFirst();
            QGuiApplication::clipboard()->setMimeData(c.data);
            ASSERT_TRUE(TestSupport::waitUntil([&] { return QGuiApplication::clipboard()->mimeData()->hasFormat(format); }));
            memo->PasteFromClipboard();
        }
        EXPECT_EQ(memo->Text(), c.expected);
    }
    // A list of files alone, as another program offers it on the clipboard.
    QMimeData onlyFiles;
    onlyFiles.setData(QStringLiteral("text/uri-list"), QUrl::fromLocalFile(fifo).toEncoded() + "\r\n");
    EXPECT_EQ(FormulaImage::texOf(&onlyFiles), std::nullopt);
    onlyFiles.setData(QStringLiteral("text/uri-list"), QUrl::fromLocalFile(file).toEncoded() + "\r\n");
    EXPECT_EQ(FormulaImage::texOf(&onlyFiles), QStringLiteral("$a^2$"));
}

// A TeX with control characters (in a comment) leaves as well-formed XML: the
// MathML without them, the SVG and the PNG with the very TeX, which a paste
// gets back.
TEST_F(FormulaExportTest, ControlCharactersLeaveAsWellFormedXmlAndComeBack)
{
    ASSERT_TRUE(show(QStringLiteral("$$x^2 %\x01\x02\x1b\u00e9\n+y$$")));
    const QVariantMap box = js(QStringLiteral("(() => { const r = document.querySelector('#content .katex-html')"
                                              ".getBoundingClientRect(); return { x: r.x + r.width / 2, y: r.y + r.height / 2 }; })()"));
    const ExportTarget target = describe(QPoint(box["x"].toInt(), box["y"].toInt()));
    ASSERT_TRUE(target.isFormula);
    ASSERT_TRUE(target.tex.contains(QStringLiteral("%\x01\x02\x1b\u00e9\n")));
    const auto mathml = make(FormulaExporter::MathML, target);
    const auto svg = make(FormulaExporter::Svg, target);
    const auto image = make(FormulaExporter::Image, target);
    ASSERT_TRUE(mathml && svg && image);
    const auto [root, annotation] = readMathml(mathml->data(QStringLiteral("application/mathml+xml")));
    EXPECT_EQ(root, QStringLiteral("math"));
    EXPECT_EQ(annotation, QStringLiteral("x^2 %\u00e9\n+y"));
    const QByteArray svgData = svg->data(QStringLiteral("image/svg+xml"));
    QXmlStreamReader reader(svgData);
    while (!reader.atEnd())
        reader.readNext();
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(FormulaImage::texOfSvg(svgData), target.tex);
    EXPECT_EQ(FormulaImage::texOfPng(image->data(QStringLiteral("image/png"))), target.tex);
}
