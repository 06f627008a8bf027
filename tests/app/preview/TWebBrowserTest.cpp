#include "core/Exception.h"
#include "app/preview/MacrosFile.h"
#include "app/preview/TWebBrowser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <functional>
#include <memory>

#include <signal.h>
#include <sys/stat.h>

namespace {

constexpr int RenderTimeoutMs = 20000;

// Runs a script in the page and waits, bounded, for its value.
QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    struct State {
        QVariant value;
        bool isDone = false;
        QEventLoop loop;
    };
    auto state = std::make_shared<State>();
    page->runJavaScript(script, [state](const QVariant& value) {
        state->value = value;
        state->isDone = true;
        state->loop.quit();
    });
    QTimer::singleShot(RenderTimeoutMs, &state->loop, &QEventLoop::quit);
    if (!state->isDone)
        state->loop.exec();
    EXPECT_TRUE(state->isDone) << "no answer to: " << script.toStdString();
    return state->value;
}

class TWebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 480);
        m_editor = new QLineEdit(m_window.get());
        m_editor->setGeometry(0, 440, 640, 40);
        m_browser = new TWebBrowser(m_window.get());
        m_browser->setHeight(400);
        m_browser->setWidth(600);
        m_window->show();
        m_editor->setFocus();
        m_path = m_dir.filePath(QStringLiteral("preview.tex"));
    }

    void write(const QByteArray& text)
    {
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    void navigate(const QString& path)
    {
        m_browser->Navigate(path);
    }

    // Writes the text to the preview file, refreshes, and waits for the render.
    bool show(const QByteArray& text)
    {
        write(text);
        return refresh(m_path);
    }

    bool refresh(const QString& path)
    {
        QSignalSpy spy(m_browser, &TWebBrowser::rendered);
        navigate(path);
        return spy.wait(RenderTimeoutMs)
            && TestSupport::waitUntil([&] { return js(TestSupport::EveryFormulaHasItsMathml) == "true"; }, RenderTimeoutMs);
    }

    // Every piece the page shows, in order: text runs and formulas with
    // their kind and content.
    QString shownPieces()
    {
        return js("Array.from(document.querySelectorAll('#content > div')).flatMap((b) => Array.from(b.childNodes))"
                  "  .map((n) => n.nodeType === 3 ? 't' + n.data"
                  "    : n.className.replace(' preview-new', '') + ':' + n.textContent).join('|')");
    }

    // Waits for a few frames to be drawn, and for the page to stop following the caret.
    bool settle()
    {
        js("window.isSettled = false; (function wait(n) { requestAnimationFrame(() => n > 0 ? wait(n - 1) : window.isSettled = true); })(8); ''");
        return TestSupport::waitUntil([&] { return js("String(window.isSettled && !caretFollow.isSettling())") == "true"; },
            RenderTimeoutMs);
    }

    // Each piece as a word: a text run (t), a definition (m), a formula by
    // what it shows, one that failed as ! and its source (or what it draws,
    // its unknown command in red); marked = when it
    // kept its node from the text before.
    QString typesetPieces()
    {
        return js("Array.from(document.querySelectorAll('#content > div')).flatMap((b) => Array.from(b.childNodes))"
                  "  .map((n) => (n.nodeType === 3 ? 't' : n.classList.contains('preview-error')"
                  "    ? '!' + n.querySelector('.preview-source').textContent"
                  "    : n.classList.contains('preview-partial') ? '!' + n.querySelector('.katex-html').textContent"
                  "    : n.classList.contains('preview-definition') ? 'm' : n.querySelector('.katex-html').textContent)"
                  "    + (n.isKept ? '=' : '')).join(' ')");
    }

    // Marks every piece shown, so the next text tells which it kept.
    void markPiecesKept()
    {
        js("for (const b of document.getElementById('content').children) for (const n of b.childNodes) n.isKept = true; ''");
    }

    QString notice()
    {
        return js("document.getElementById('notice').hidden ? '' : document.getElementById('notice').innerText");
    }

    QVariant js(const QString& script) { return evaluate(m_browser->page(), script); }
    QString js(const char* script) { return evaluate(m_browser->page(), QString::fromUtf8(script)).toString(); }
    int count(const char* selector)
    {
        return evaluate(m_browser->page(), QStringLiteral("document.querySelectorAll('%1').length").arg(QLatin1String(selector))).toInt();
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_editor = nullptr;
    TWebBrowser* m_browser = nullptr;
};

} // namespace

TEST_F(TWebBrowserTest, NavigateToTheSamePathShowsTheNewContentWithoutReloading)
{
    ASSERT_TRUE(show("x^2"));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("x^2"));
    EXPECT_EQ(count("#content .katex-html[aria-hidden=true]"), 1) << "screen readers read the copy, not the drawing";
    js("window.marker = 42; ''");

    ASSERT_TRUE(show("\\frac{a}{b}"));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("\\frac{a}{b}"));
    EXPECT_EQ(count("#content .katex"), 1);
    // Still the same document: updated in place, not reloaded.
    EXPECT_EQ(js(QStringLiteral("window.marker")).toInt(), 42);
}

TEST_F(TWebBrowserTest, RefreshTypesetsOnlyNewOrChangedPiecesAndKeepsTheOthers)
{
    // Each piece of the page as "source" and whether it kept its node from
    // the text before (=) or is new (*). Text runs are shown in quotes.
    const auto pieces = [this] {
        return js("Array.from(document.querySelectorAll('#content > div')).flatMap((b) => Array.from(b.childNodes)).map((n) => "
                  "  (n.nodeType === 3 ? \"'\" + n.data + \"'\" : n.querySelector('annotation, .preview-source').textContent)"
                  "  + (n.isKept ? '=' : '*')).join(' ')");
    };
    struct Case {
        const char* before;
        const char* after;
        const char* expected;
    } cases[] = {
        { "$$a$$\n$$b$$\n$$c$$", "$$a$$\n$$b$$\n$$c$$", "a= b= c=" },
        { "$$a$$\n$$b$$\n$$c$$", "$$a$$\n$$x$$\n$$c$$", "a= x* c=" },
        { "$$a$$\n$$b$$\n$$c$$", "$$a$$\n$$c$$", "a= c=" },
        { "$$a$$\n$$b$$\n$$c$$", "$$a$$\n$$x$$\n$$d$$", "a= x* d*" },
        // The line break after a display formula belongs to the formula.
        { "$$a$$x", "$$a$$\nx", "a= 'x'=" },
        { "$$a$$\n$$b$$\n$$c$$", "$$n$$\n$$a$$\n$$b$$\n$$c$$", "n* a= b= c=" },
        { "$$a$$\n$$b$$\n$$c$$", "$$c$$\n$$a$$\n$$b$$", "c= a= b=" },
        { "$$a$$\n$$b$$\n$$c$$", "$$b$$\n$$c$$\n$$a$$", "b= c= a=" },
        { "$$a$$\n$$a$$", "$$a$$\n$$b$$\n$$a$$", "a= b* a=" },
        { "$a$ and $b$", "$a$ and b", "a= ' and b'*" },
        { "$a$ and b", "$a$ and $b$", "a= ' and '* b*" },
        { "a+b", "a+c", "a+c*" },
        { "$$\\frac{1}$$ $x$", "$$\\frac{1}$$ $y$", "\\frac{1}= ' '= y*" },
        // A definition changes what the formulas after it show.
        { "$\\gdef\\r{p}$ $$\\r$$ $$q$$", "$\\gdef\\r{s}$ $$\\r$$ $$q$$", "\\gdef\\r{s}* ' '= \\r* ' '= q*" },
        { "$\\gdef\\r{p}$ $$\\r$$ $$q$$", "$\\gdef\\r{p}$ $$\\r$$ $$z$$", "\\gdef\\r{p}= ' '= \\r= ' '= z*" },
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(show(c.before)) << c.before;
        markPiecesKept();
        ASSERT_TRUE(show(c.after)) << c.after;
        EXPECT_EQ(pieces().toStdString(), c.expected) << c.before << " -> " << c.after;
        ASSERT_TRUE(show("")) << "clearing";
    }
    // The formula after a changed definition shows the new one.
    ASSERT_TRUE(show("$\\gdef\\r{p}$ $$\\r$$"));
    ASSERT_TRUE(show("$\\gdef\\r{s}$ $$\\r$$"));
    EXPECT_EQ(js("document.querySelector('.preview-display .katex-html').textContent"), QStringLiteral("s"));
}

// However a text is edited, the page then shows what it shows for that text
// given afresh: delimiters that open or close, definitions, line breaks
// around display formulas and broken formulas, anywhere in a long text.
TEST_F(TWebBrowserTest, EditedTextShowsWhatTheSameTextShowsAfresh)
{
    const char* const snippets[] = { "$", "$$", "\\(", "\\)", "\\[", "\\]", "\n", "x^2", "\\gdef\\r{p}", "\\r",
        "{", "}", "\\$", " and ", "$$y$$\n", "$\\gdef\\r{q}$", "\\newcommand{\\r}{s}\n", "\\def\\r#1{" };
    QByteArray text;
    for (int i = 0; i < 40; ++i)
        text += "$$f_{" + QByteArray::number(i) + "}$$\n" + (i % 7 == 0 ? "see $\\r + g$ here\n" : "");
    quint32 seed = 12345;
    const auto random = [&](qsizetype n) { return qsizetype((seed = seed * 1103515245u + 12345u) >> 8) % n; };
    for (int edit = 0; edit < 40; ++edit) {
        // One change, or two far apart.
        for (int change = 0; change < 1 + (edit % 4 == 3); ++change) {
            const qsizetype at = random(text.size() + 1);
            if (random(3) == 0)
                text.remove(at, random(12));
            else
                text.insert(at, snippets[random(std::size(snippets))]);
        }
        ASSERT_TRUE(show(text));
        const QString edited = shownPieces();
        ASSERT_TRUE(show(""));
        ASSERT_TRUE(show(text));
        EXPECT_EQ(edited, shownPieces()) << "edit " << edit << ": " << text.toStdString();
    }
}

// A refresh moves the pieces after its change; the next one must find them
// where they now are.
TEST_F(TWebBrowserTest, RefreshesInARowShowWhatTheLastTextShowsAfresh)
{
    const char* const texts[][3] = {
        { "$$a$$\n$$b$$\n$$c$$\n$$d$$", "$$axyz$$\n$$b$$\n$$c$$\n$$d$$", "$$axyz$$\n$$b$$\n$$c$$\n$$d$$ and $e$" },
        { "$$abcd$$\n$$b$$\n$$c$$\n$$d$$", "$$a$$\n$$b$$\n$$c$$\n$$d$$", "$$a$$\n$$b$$\n$$c$$\n$$dz$$" },
        { "$$a$$ x $$b$$ y $$c$$", "$$a$$ xx $$b$$ y $$c$$", "$$a$$ xx $$b$$ y $$cd$$" },
        // A brace left open decides by what comes after the formula.
        { "$\\frac{1}{$ and $x$ b\n\nc", "$\\frac{1}{$ and $x$ b}$\n\nc", "$\\frac{1}{$ and $x$ b}$\n\n$c$" },
        { "$\\frac{1}{$ and $x$ b}$\n\nc", "$\\frac{1}{$ and $x$ b\n\nc", "$\\frac{1}{$ and $x$ b\n\n$c$" },
    };
    for (const auto& steps : texts) {
        for (const char* text : steps)
            ASSERT_TRUE(show(text)) << text;
        const QString edited = shownPieces();
        ASSERT_TRUE(show(""));
        ASSERT_TRUE(show(steps[2]));
        EXPECT_EQ(edited.toStdString(), shownPieces().toStdString()) << steps[2];
        ASSERT_TRUE(show(""));
    }
}

TEST_F(TWebBrowserTest, LongTextKeepsItsNodesAcrossBlocks)
{
    // A text long enough to come in several blocks; each edit is given as
    // the formulas after it, "*" marking the one that must be typeset anew.
    QStringList formulas;
    for (int i = 0; i < 300; ++i)
        formulas.append(QStringLiteral("f_{%1}").arg(i));
    const auto text = [](const QStringList& list) {
        QByteArray bytes;
        for (const QString& formula : list)
            bytes += "$$" + QString(formula).remove(QLatin1Char('*')).toUtf8() + "$$\n";
        return bytes;
    };
    const auto edited = [&](const std::function<void(QStringList&)>& edit) {
        QStringList list = formulas;
        edit(list);
        return list;
    };
    const QList<QStringList> cases = {
        edited([](QStringList& l) { l[150] = QStringLiteral("g*"); }),
        edited([](QStringList& l) { l.prepend(QStringLiteral("g*")); }),
        edited([](QStringList& l) { l.removeAt(100); }),
        edited([](QStringList& l) { l.move(10, 299); }),
        edited([](QStringList& l) { l.insert(200, QStringLiteral("g*")); l.removeFirst(); }),
    };
    for (const QStringList& after : cases) {
        ASSERT_TRUE(show(text(formulas)));
        EXPECT_GT(count("#content > div"), 2);
        markPiecesKept();
        ASSERT_TRUE(show(text(after)));
        QStringList expected;
        for (const QString& formula : after)
            expected.append(formula.endsWith(QLatin1Char('*')) ? formula : formula + QLatin1Char('='));
        EXPECT_EQ(js("Array.from(document.getElementById('content').children).flatMap((b) => Array.from(b.childNodes))"
                     "  .map((n) => n.querySelector('annotation').textContent + (n.isKept ? '=' : '*')).join(' ')"),
            expected.join(QLatin1Char(' ')));
        ASSERT_TRUE(show(""));
    }
}

// Only what changed travels to the page; a page that shows another text than
// the pane thinks gets the whole text.
TEST_F(TWebBrowserTest, APageShowingAnotherTextGetsTheWholeText)
{
    ASSERT_TRUE(show("$$a$$ and $$b$$"));
    js("preview.show('$$z$$ or $$b$$', ''); ''");
    ASSERT_TRUE(show("$$a$$ and $$c$$"));
    EXPECT_EQ(js("Array.from(document.querySelectorAll('#content annotation'), (a) => a.textContent).join(' ')"),
        QStringLiteral("a c"));
}

TEST_F(TWebBrowserTest, TypesetFormulasTripNoSecurityPolicy)
{
    ASSERT_TRUE(show("x"));
    js("window.violations = [];"
       "document.addEventListener('securitypolicyviolation',"
       "  (e) => window.violations.push(e.violatedDirective + ': ' + e.sample)); ''");
    const char* corpus[] = {
        "\\frac{a}{b} \\dfrac{1}{2} \\tfrac12 \\cfrac{1}{1+\\cfrac{1}{x}} \\genfrac(]{0pt}{2}{a}{b}",
        "\\sqrt{x} \\sqrt[3]{\\frac{a}{b}} \\sqrt{\\frac{\\frac{a}{b}}{\\frac{c}{d}}}",
        "\\left( \\frac{a}{b} \\right) \\left\\{ \\begin{matrix} a \\\\ b \\\\ c \\\\ d \\end{matrix} \\right.",
        "\\big( \\Big[ \\bigg\\{ \\Bigg\\langle \\bigl| \\bigr\\| \\lVert x \\rVert",
        "f(x) = \\begin{cases} 0 & x < 0 \\\\ x & x \\ge 0 \\end{cases} \\begin{rcases} a \\\\ b \\end{rcases}",
        "\\begin{pmatrix} 1 & 0 \\\\ 0 & 1 \\end{pmatrix} \\begin{bmatrix} a \\end{bmatrix} "
        "\\begin{vmatrix} a \\end{vmatrix} \\begin{Vmatrix} a \\end{Vmatrix} \\begin{Bmatrix} a \\end{Bmatrix}",
        "\\begin{array}{c|c:c} a & b & c \\\\ \\hline d & e & f \\\\ \\hdashline g & h & i \\end{array}",
        "\\begin{aligned} a &= b \\\\ c &= d \\end{aligned} \\begin{gathered} a \\\\ b \\end{gathered} "
        "\\begin{alignedat}{2} a &= b & c &= d \\end{alignedat} \\begin{smallmatrix} a & b \\end{smallmatrix}",
        "\\begin{CD} A @>a>> B \\\\ @VbVV @AAcA \\\\ C @= D \\end{CD}",
        "\\overbrace{a+b}^{n} \\underbrace{c+d}_{m} \\overgroup{AB} \\undergroup{AB} \\overlinesegment{AB}",
        "\\overrightarrow{AB} \\overleftarrow{AB} \\overleftrightarrow{AB} \\Overrightarrow{AB} "
        "\\underrightarrow{AB} \\underleftarrow{AB} \\underleftrightarrow{AB} \\overleftharpoon{ab}",
        "\\widehat{abc} \\widetilde{abc} \\widecheck{abc} \\utilde{AB} \\vec{v} \\hat{a} \\bar{b} \\dot{c} \\ddot{d} "
        "\\tilde{e} \\check{f} \\breve{g} \\acute{h} \\grave{i} \\mathring{j} \\overline{xy} \\underline{xy}",
        "\\xrightarrow[under]{over} \\xleftarrow{x} \\xLeftrightarrow{y} \\xhookrightarrow{z} \\xmapsto{m} "
        "\\xrightleftharpoons[a]{b} \\xtofrom{t} \\longrightarrow \\hookleftarrow \\mapsto",
        "\\cancel{x} \\bcancel{y} \\xcancel{z} \\sout{s} \\boxed{b} \\fbox{f} \\colorbox{yellow}{c} "
        "\\fcolorbox{red}{aqua}{d} \\phase{30^\\circ} \\angl{n}",
        "\\color{blue} x \\textcolor{#228B22}{y} {\\color{red} z} \\pmb{\\mu} \\boldsymbol{\\beta} \\bm{x}",
        "\\mathbb{R} \\mathcal{L} \\mathfrak{g} \\mathscr{H} \\mathrm{d} \\mathit{i} \\mathbf{v} \\mathsf{s} "
        "\\mathtt{t} \\textbf{bold} \\textit{it} \\textrm{rm} \\text{text} \\textsf{sf} \\texttt{tt}",
        "\\sum_{k=1}^n \\prod_i \\int_0^1 \\iint \\iiint \\oint \\oiint \\oiiint \\lim_{x\\to 0} "
        "\\operatorname{rank} \\operatorname*{argmax}_x \\max\\limits_a \\sum\\nolimits_b",
        "\\binom{n}{k} \\dbinom{n}{k} \\tbinom{n}{k} \\overset{!}{=} \\underset{x}{\\arg} \\stackrel{def}{=} "
        "\\substack{a \\\\ b} \\not= \\neq \\ne",
        "\\rule{1em}{0.5em} \\kern1em \\hspace{2em} \\phantom{x} \\vphantom{X} \\hphantom{y} \\smash{\\frac{a}{b}} "
        "\\mathclap{x} \\mathllap{y} \\mathrlap{z} \\raisebox{0.25em}{r} \\llap{l} \\rlap{r}",
        "\\tiny a \\scriptsize b \\footnotesize c \\small d \\normalsize e \\large f \\Large g \\LARGE h \\huge i "
        "\\Huge j \\displaystyle k \\textstyle l \\scriptstyle m \\scriptscriptstyle n",
        "\\ce{2H2 + O2 -> 2H2O} \\ce{A <=> B} \\ce{SO4^2-} \\pu{123 kJ/mol} \\ce{->[\\Delta]}",
        "\\tag{1} E = mc^2",
        "\\verb|a_b| \\TeX \\LaTeX \\mathchoice{a}{b}{c}{d} \\href{https://example.org/}{x}",
    };
    QByteArray text;
    for (const char* formula : corpus)
        text += QByteArray("$") + formula + "$ and $$" + formula + "$$\n";
    ASSERT_TRUE(show(text));
    // Each formula alone, too, as a display formula of its own.
    for (const char* formula : corpus) {
        ASSERT_TRUE(show(formula)) << formula;
        EXPECT_EQ(count("#content .preview-error"), 0) << formula;
    }
    js("''");
    EXPECT_EQ(js("window.violations.join('\\n')").toStdString(), "");

    // The listener does see a refused style: this page would report one.
    js("document.body.insertAdjacentHTML('beforeend', '<span style=\"outline: 1px solid red\"></span>'); ''");
    EXPECT_TRUE(TestSupport::waitUntil([&] { return js(QStringLiteral("window.violations.length")).toInt() > 0; }));
}

TEST_F(TWebBrowserTest, DelimitedMathEnvironmentsAndChemistryAreTypeset)
{
    ASSERT_TRUE(show("Euler: $e^{i\\pi}+1=0$, \\(a_1\\) and \\[b^2\\]\n$$\\sum_{k=1}^n k$$ costs \\$5."));
    EXPECT_EQ(count("#content .katex"), 4);
    EXPECT_EQ(count("#content .katex-display"), 2);
    EXPECT_EQ(count("#content .preview-error"), 0);
    const QString text = js("document.getElementById('content').innerText");
    EXPECT_TRUE(text.startsWith(QLatin1String("Euler: "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QLatin1String(" costs $5."))) << text.toStdString();

    // Without any delimiter the whole text is one display formula.
    const char* formulas[] = {
        "\\begin{align*} a &= b + c \\\\ d &= e \\end{align*}",
        "f(x) = \\begin{cases} 0 & x < 0 \\\\ x & x \\ge 0 \\end{cases}",
        "\\begin{pmatrix} 1 & 0 \\\\ 0 & 1 \\end{pmatrix}",
        "\\ce{2H2 + O2 -> 2H2O}",
        "x < y \\land y > z",
    };
    for (const char* formula : formulas) {
        ASSERT_TRUE(show(formula));
        EXPECT_EQ(count("#content .katex-display"), 1) << formula;
        EXPECT_EQ(count("#content .preview-error"), 0) << formula;
    }
}

// A text comes in, the pieces the page shows come out: each a text run (t),
// or an inline (i) or display (d) formula, marked ! when it shows an error,
// with its source.
TEST_F(TWebBrowserTest, BrokenFormulaStaysInPlaceAndDisplayEnvironmentsStandAlone)
{
    const auto pieces = [this] {
        return js("Array.from(document.querySelectorAll('#content > div')).flatMap((b) => Array.from(b.childNodes))"
                  "  .map((n) => n.nodeType === 3 ? 't' + n.data : (n.tagName === 'DIV' ? 'd' : 'i')"
                  "    + (n.classList.contains('preview-error') ? '!' : '') + ':'"
                  "    + n.querySelector('annotation, .preview-source').textContent).join('|')");
    };
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        { "Broken: $\\frac{1}{$ and $x$\n$$y$$", "tBroken: |i!:\\frac{1}{|t and |i:x|d:y" },
        { "$$\\frac{1}{$$ and \\[z\\]", "d!:\\frac{1}{|t and |d:z" },
        { "$a \\text{costs $5$} b$ and $c$", "i:a \\text{costs $5$} b|t and |i:c" },
        { "$a\n\nb$", "t$a\n\nb$" },
        { "By Stokes \\begin{equation} x \\end{equation} and \\begin{align} a &= b \\\\ c &= d \\end{align}",
            "tBy Stokes |d:\\begin{equation} x \\end{equation}|t and |d:\\begin{align} a &= b \\\\ c &= d \\end{align}" },
        { "$\\ce{H2O}$ then\n\\begin{CD} A @>>> B \\end{CD}\nand \\begin{gather*} a \\end{gather*}",
            "i:\\ce{H2O}|t then|d:\\begin{CD} A @>>> B \\end{CD}|tand |d:\\begin{gather*} a \\end{gather*}" },
        { "$$\\begin{aligned} a \\end{aligned}$$ \\begin{matrix} a \\end{matrix}",
            "d:\\begin{aligned} a \\end{aligned}|t \\begin{matrix} a \\end{matrix}" },
        { "\\begin{alignat}{2} a &= b \\end{alignat} unclosed \\begin{equation} x",
            "d:\\begin{alignat}{2} a &= b \\end{alignat}|t unclosed \\begin{equation} x" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(show(c.text)) << c.text;
        EXPECT_EQ(pieces().toStdString(), c.expected) << c.text;
    }
}

// A definition standing in the text holds for the formulas after it and
// shows nothing; one that fails shows why in its place. An edit of it
// typesets again the formulas after it, and only those.
TEST_F(TWebBrowserTest, DefinitionsInTheTextHoldAfterThemAndAreNotShown)
{
    const struct {
        const char* before;
        const char* text;
        const char* expected;
    } cases[] = {
        { "", "\\newcommand{\\norm}[1]{N#1}\nSee $\\norm{x}$.", "m t Nx t" },
        { "", "$\\a$ \\def\\a#1{A#1} $\\a b$", "!\\a t m t Ab" },
        { "", "\\DeclareMathOperator{\\Tr}{Tr}\n\\DeclareMathOperator*\\am{am}\n\\providecommand\\x{X}\n$\\Tr\\am\\x$",
            "m m m TramX" },
        // A command the typesetter has and LaTeX lacks may be defined anew.
        { "", "\\newcommand{\\R}{S}\n\\newcommand{\\R}{T}\n$\\R$", "m !\\newcommand{\\R}{T} S" },
        { "", "\\newcommand{a}{b}\n$c$", "!\\newcommand{a}{b} c" },
        // Without any delimiter the whole text is one formula, as before.
        { "", "\\def\\a{b} \\a", "b" },
        { "$\\a$\n\\def\\a{p}\n$\\a$ $q$", "$\\a$\n\\def\\a{s}\n$\\a$ $q$", "!\\a= t= m s t= q" },
        { "$\\a$\n\\def\\a{p}\n$\\a$ $q$", "$\\a$\n\\def\\a{p}\n$\\a$ $z$", "!\\a= t= m= p= t= z" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(show(c.before)) << c.before;
        markPiecesKept();
        ASSERT_TRUE(show(c.text)) << c.text;
        EXPECT_EQ(typesetPieces().toStdString(), c.expected) << c.text;
    }
}

// The macros file's definitions hold for every formula; the file is read
// again when it changes, a faulty definition is reported with its line and
// the others still hold. A file that cannot be used is reported and never
// holds the preview up.
TEST_F(TWebBrowserTest, MacrosFileHoldsForEveryFormulaAndReportsWhatIsWrong)
{
    const QString macrosPath = m_dir.filePath(QStringLiteral("preview-macros.tex"));
    m_browser->setMacrosFile(macrosPath);
    const auto writeMacros = [&](const QByteArray& bytes) {
        QFile::remove(macrosPath);
        QDir(macrosPath).removeRecursively();
        QFile file(macrosPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    const struct {
        std::function<void()> make;
        const char* text;
        const char* expected;
        const char* notice;
    } steps[] = {
        { [&] { writeMacros("\\newcommand{\\mm}{M}\n\\usepackage{x}\n\\def\\nn{\n  N}\n\\def\\lp{\\lp}"); }, "$\\mm\\nn$ $\\lp$ $y$",
            "MN t !\\lp t y", "preview-macros.tex, line 2: Undefined control sequence: \\usepackage" },
        { [&] { writeMacros("\\newcommand{\\mm}{K}"); }, "$\\mm$", "K", "" },
        { [&] { QFile::remove(macrosPath); }, "$\\mm$", "!\\mm", "" },
        { [&] { writeMacros(QByteArray("\\def\\mm{B}\0", 11)); }, "$x$", "x", "holds binary data" },
        { [&] { writeMacros(QByteArray(MacrosFile::MaxBytes + 1, '%')); }, "$x$", "x", "larger than 1024 KiB" },
        { [&] { QFile::remove(macrosPath); QDir().mkdir(macrosPath); }, "$x$", "x", "is a folder" },
        { [&] { QDir(macrosPath).removeRecursively(); ASSERT_EQ(mkfifo(QFile::encodeName(macrosPath).constData(), 0600), 0); },
            "$x$", "x", "not a regular file" },
    };
    for (const auto& step : steps) {
        step.make();
        ASSERT_TRUE(show(step.text)) << step.text;
        EXPECT_EQ(typesetPieces().toStdString(), step.expected) << step.text;
        EXPECT_TRUE(notice().contains(QLatin1String(step.notice)) && notice().isEmpty() == (*step.notice == 0))
            << notice().toStdString();
    }
}

TEST_F(TWebBrowserTest, TeXErrorIsShownInPlaceInRed)
{
    ASSERT_TRUE(show("before $\\frac{1}$ between $x^2$ after"));
    EXPECT_EQ(count("#content span.preview-error"), 1);
    EXPECT_EQ(count("#content .katex"), 1);
    EXPECT_EQ(js("document.querySelector('.preview-error .preview-source').textContent"), QStringLiteral("\\frac{1}"));
    EXPECT_FALSE(js("document.querySelector('.preview-error .preview-message').textContent").isEmpty());
    EXPECT_EQ(js("getComputedStyle(document.querySelector('.preview-error')).color"), QStringLiteral("rgb(204, 0, 0)"));
    const QString text = js("document.getElementById('content').innerText");
    EXPECT_TRUE(text.startsWith(QLatin1String("before "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QLatin1String(" after"))) << text.toStdString();

    // Undefined commands and endless expansion end in a message, not a hang.
    for (const char* bad : { "\\undefinedcommand{x}", "\\def\\a{\\a\\a}\\a", "\\rule{100000em}{1em}x" }) {
        ASSERT_TRUE(show(bad)) << bad;
        EXPECT_LE(count("#content .katex-display"), 1) << bad;
    }
    ASSERT_TRUE(show("\\def\\a{\\a\\a}\\a"));
    EXPECT_EQ(count("#content div.preview-error"), 1);
}

// A short formula can take the typesetter minutes (an \\edef that doubles its
// text, which the typesetter does not count against its expansion limit). It
// holds neither the page nor the refreshes after it: it shows an error in
// place once over its time, and a text given meanwhile is shown at once.
TEST_F(TWebBrowserTest, FormulaOverItsTimeShowsAnErrorAndHoldsNoRefresh)
{
    const auto runaway = [](char name) {
        QByteArray formula = QByteArray("\\def\\") + name + "{x}";
        for (int i = 0; i < 14; ++i)
            formula += QByteArray("\\edef\\") + name + "{\\" + name + "\\" + name + "}";
        for (int i = 0; i < 16; ++i)
            formula += QByteArray("\\") + name;
        return formula;
    };
    write("$" + runaway('a') + "$");
    navigate(m_path);
    ASSERT_TRUE(show("y=1"));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("y=1"));

    ASSERT_TRUE(show("before $" + runaway('a') + "$ and $" + runaway('b') + "$ after $x^2$"));
    EXPECT_EQ(count("#content span.preview-error"), 2);
    EXPECT_EQ(js("getComputedStyle(document.querySelector('.preview-error')).color"), QStringLiteral("rgb(204, 0, 0)"));
    EXPECT_TRUE(js("document.querySelector('.preview-error .preview-message').textContent").contains(QLatin1String("too long")));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("x^2"));
    const QString text = js("document.getElementById('content').innerText");
    EXPECT_TRUE(text.startsWith(QLatin1String("before "))) << text.toStdString();

    ASSERT_TRUE(show("z"));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("z"));
}

// The page goes on without a slow formula; what it defines still reaches the
// formulas after it once it is typeset.
TEST_F(TWebBrowserTest, SlowFormulaStillDefinesForTheFormulasAfterIt)
{
    QByteArray slow = "\\gdef\\r{p}\\def\\a{x}";
    for (int i = 0; i < 13; ++i)
        slow += "\\edef\\a{\\a\\a}";
    ASSERT_TRUE(show("$" + slow + "\\a\\a$ $$\\r$$"));
    EXPECT_EQ(count("#content .preview-error"), 0);
    EXPECT_EQ(js("document.querySelector('.preview-display .katex-html').textContent"), QStringLiteral("p"));
}

TEST_F(TWebBrowserTest, HostileTextsExecuteNothingAndLoadNothing)
{
    const char* hostile[] = {
        "<script>window.pwned = 1</script>",
        "<img src=x onerror=\"window.pwned = 2\">",
        "$<img src=x onerror=\"window.pwned = 3\">$",
        "\\href{javascript:window.pwned = 4}{x}",
        "$\\href{javascript:window.pwned = 5}{click}$",
        "\\url{file:///etc/passwd}",
        "\\includegraphics{file:///etc/passwd}",
        "\\htmlId{x}{y} \\htmlStyle{background:url(https://example.org/)}{z}",
        "\"); window.pwned = 6; (\"",
        "\\\"); window.pwned = 7; //",
        "</script><script>window.pwned = 8</script>\u2028",
        "<iframe src=\"file:///etc/passwd\"></iframe><a href=\"javascript:window.pwned=9\">a</a>",
    };
    for (const char* text : hostile) {
        ASSERT_TRUE(show(text)) << text;
        EXPECT_EQ(js(QStringLiteral("typeof window.pwned")).toString(), QStringLiteral("undefined")) << text;
        EXPECT_EQ(count("script:not([src]), #content script, #content img, #content iframe, #content a, #content [style*=url]"), 0) << text;
    }
    // The markup arrived as visible text.
    ASSERT_TRUE(show("<b>bold?</b> $x$"));
    EXPECT_EQ(count("#content b"), 0);
    EXPECT_TRUE(js("document.getElementById('content').innerText").startsWith(QLatin1String("<b>bold?</b>")));

    // Even a script that did run inside the page could not reach outside it.
    js("for (const src of ['file:///etc/passwd', 'https://example.org/x.png', 'http://127.0.0.1:9/']) {"
       "  const img = document.createElement('img'); img.src = src; document.body.append(img);"
       "  fetch(src).then(() => { window.pwned = src; }, () => {});"
       "} ''");
    ASSERT_TRUE(show("x"));
    EXPECT_EQ(js(QStringLiteral("typeof window.pwned")).toString(), QStringLiteral("undefined"));
    EXPECT_TRUE(m_browser->blockedRequests().isEmpty());
}

TEST_F(TWebBrowserTest, PageRefusesToNavigateAway)
{
    ASSERT_TRUE(show("x^2"));
    const QUrl page = m_browser->page()->url();
    // Not even to one of its own resources, which would replace the page and
    // end every later refresh.
    m_browser->page()->load(page.resolved(QUrl(QStringLiteral("preview.js"))));
    TestSupport::pump(1000);
    EXPECT_EQ(m_browser->page()->url(), page);
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("x^2"));
    m_browser->page()->load(QUrl(QStringLiteral("file:///etc/passwd")));
    js("location.href = 'https://example.org/'; window.open('https://example.org/'); ''");
    ASSERT_TRUE(show("y^2"));
    EXPECT_EQ(m_browser->page()->url(), page);
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("y^2"));
}

TEST_F(TWebBrowserTest, ProfileLoadsNothingButThePreviewSchemeForAnyPage)
{
    ASSERT_TRUE(show("x^2"));
    QFile local(m_dir.filePath(QStringLiteral("local.html")));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("<p>local</p>");
    local.close();
    const QUrl file = QUrl::fromLocalFile(local.fileName());
    const QUrl http(QStringLiteral("http://127.0.0.1:9/"));

    // A page of the pane's profile that would follow any navigation.
    QWebEnginePage other(m_browser->page()->profile());
    for (const QUrl& url : { file, http }) {
        QSignalSpy finished(&other, &QWebEnginePage::loadFinished);
        other.load(url);
        ASSERT_TRUE(finished.wait(RenderTimeoutMs)) << url.toString().toStdString();
        EXPECT_FALSE(finished.first().first().toBool()) << "loaded " << url.toString().toStdString();
        EXPECT_TRUE(m_browser->blockedRequests().contains(url)) << url.toString().toStdString();
    }
    EXPECT_EQ(evaluate(&other, QStringLiteral("document.body ? document.body.innerText : ''")).toString().indexOf(u"local"), -1);
}

TEST_F(TWebBrowserTest, UnreadableFileShowsAMessageAndNoFormula)
{
    ASSERT_TRUE(show("x^2"));
    ASSERT_TRUE(refresh(m_dir.filePath(QStringLiteral("missing.tex"))));
    EXPECT_EQ(count("#content .katex"), 0);
    EXPECT_TRUE(js("document.getElementById('notice').innerText").contains(QLatin1String("missing.tex")));

    ASSERT_TRUE(show("y^2"));
    EXPECT_EQ(count("#content .katex"), 1);
    EXPECT_EQ(js("document.getElementById('notice').hidden ? 'hidden' : 'shown'"), QStringLiteral("hidden"));
}

TEST_F(TWebBrowserTest, HugeTextLeavesTheCallerResponsiveAndSaysWhatIsNotShown)
{
    QByteArray line = "Term $x_{1}^{2} + \\frac{a}{b}$ and more text. ";
    QByteArray big;
    big.reserve(10 * 1024 * 1024 + line.size());
    while (big.size() < 10 * 1024 * 1024)
        big += line;
    write(big);

    // The event loop keeps turning while the page typesets.
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    QSignalSpy spy(m_browser, &TWebBrowser::rendered);
    QElapsedTimer navigateTime;
    navigateTime.start();
    navigate(m_path);
    const qint64 navigateMs = navigateTime.elapsed();
    sinceTick.start();
    ticker.start(10);
    ASSERT_TRUE(spy.wait(60000));
    ticker.stop();

    EXPECT_LT(navigateMs, 1000);
    EXPECT_LT(longestGap, 1000);
    const QString notice = js("document.getElementById('notice').innerText");
    EXPECT_TRUE(notice.contains(QLatin1String("not shown"))) << notice.toStdString();
    const int shown = js(QStringLiteral("document.querySelectorAll('#content .katex').length")).toInt();
    EXPECT_GT(shown, 1000);
    EXPECT_LT(shown, 2 * (PreviewSource::DefaultMaxChars / line.size()) + 2);

    // The next refresh with a small text is shown as usual.
    ASSERT_TRUE(show("x^2"));
    EXPECT_EQ(count("#content .katex"), 1);
}

TEST_F(TWebBrowserTest, ScrollPositionSurvivesARefresh)
{
    QByteArray text;
    for (int i = 0; i < 80; ++i)
        text += "$$x_{" + QByteArray::number(i) + "} = \\frac{1}{2}$$\n";
    ASSERT_TRUE(show(text));
    js("window.scrollTo(0, 500); ''");
    ASSERT_EQ(js(QStringLiteral("window.scrollY")).toInt(), 500);
    ASSERT_TRUE(show(text.replace("frac{1}{2}", "frac{3}{4}")));
    EXPECT_EQ(js(QStringLiteral("window.scrollY")).toInt(), 500);
}

// After a refresh the preview brings the formula at the caret into view with
// the least scroll, and leaves a formula in view, or a view the user scrolled
// with the caret unmoved, as it is.
TEST_F(TWebBrowserTest, PreviewKeepsTheFormulaAtTheCaretInView)
{
    QByteArray text;
    QList<qsizetype> starts;
    for (int i = 0; i < 80; ++i) {
        text += "Line " + QByteArray::number(i) + " and ";
        starts.append(text.size());
        text += "$$x_{" + QByteArray::number(i) + "} = \\frac{1}{2}$$\n";
    }
    ASSERT_TRUE(show(text));
    // A hand scroll first (or -1), the caret's formula and where it is then.
    const struct { int handScroll; int formula; const char* expected; } steps[] = {
        { -1, 60, "bottom" }, { -1, 58, "unmoved" }, { -1, 5, "top" }, { 0, 5, "unmoved" }, { -1, 70, "bottom" },
    };
    for (const auto& step : steps) {
        if (step.handScroll >= 0)
            js(QStringLiteral("window.scrollTo(0, %1)").arg(step.handScroll));
        ASSERT_TRUE(settle());
        const QString before = js("String(scrollY)");
        m_browser->FollowCaret(starts[step.formula] + 3);
        ASSERT_TRUE(refresh(m_path) && settle());
        const QString edge = js(QStringLiteral("(() => { const b = document.querySelectorAll('.preview-display')[%1]"
            ".getBoundingClientRect(); return b.top < 0 || b.bottom > innerHeight ? 'out' : b.top < 30 ? 'top'"
            " : b.bottom > innerHeight - 30 ? 'bottom' : 'in'; })()").arg(step.formula)).toString();
        if (QLatin1String(step.expected) == QLatin1String("unmoved"))
            EXPECT_EQ(js("String(scrollY)"), before) << "formula " << step.formula;
        else
            EXPECT_EQ(edge, QLatin1String(step.expected)) << "formula " << step.formula;
    }
}

// Numbered display formulas count on through a long text, and one wider
// than the preview scrolls on its own with its number in reach.
TEST_F(TWebBrowserTest, NumberedFormulasCountOnAndAWideOneScrollsAlone)
{
    QByteArray text;
    for (int i = 0; i < 30; ++i)
        text += "Text " + QByteArray::number(i) + "\n\\begin{equation} y_{" + QByteArray::number(i) + "} \\end{equation}\n";
    text += "\\begin{align} a &= b \\\\ c &= d \\end{align}\n";
    text += "\\begin{equation} " + QByteArray("x + ").repeated(200) + "x \\end{equation}";
    ASSERT_TRUE(show(text));
    ASSERT_TRUE(settle());
    EXPECT_EQ(js("Array.from(document.querySelectorAll('.katex-display')).map((d) => d.style.counterReset.replace('katexEqnNo ', ''))"
                 ".join(' ')"),
        QStringLiteral("0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 32"));
    EXPECT_EQ(js("(() => { const d = document.querySelector('.katex-display'); return d.scrollWidth <= d.clientWidth; })()"),
        QStringLiteral("true")) << "a numbered formula that fits has no scroll bar";
    const QString wide = js(QStringLiteral(
        "(() => { const d = Array.from(document.querySelectorAll('.katex-display')).pop(); d.scrollIntoView();"
        " d.scrollLeft = d.scrollWidth; const t = d.querySelector('.tag').getBoundingClientRect();"
        " const b = d.getBoundingClientRect(); const page = document.documentElement;"
        " return [d.scrollWidth > d.clientWidth, page.scrollWidth <= page.clientWidth, t.left >= b.left && t.right <= b.right,"
        "   d.querySelector('.base').getBoundingClientRect().right <= t.left + 1].join(' '); })()")).toString();
    EXPECT_EQ(wide, QStringLiteral("true true true true")) << "scrolls, page does not, number in view, after the formula";
}

TEST_F(TWebBrowserTest, EditorKeepsTheKeyboardFocus)
{
    // The window's own focus child is checked: a bare X server without a
    // window manager may never make the window active.
    m_window->activateWindow();
    m_editor->setFocus();
    ASSERT_TRUE(show("x^2"));
    EXPECT_EQ(m_window->focusWidget(), m_editor);

    // Only a click gives the page the focus, and a refresh leaves it there.
    QWidget* surface = m_browser->view()->focusProxy();
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->focusPolicy(), Qt::ClickFocus);
    QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(50, 50));
    ASSERT_TRUE(show("y^2"));
    EXPECT_EQ(m_window->focusWidget(), surface);
}

TEST_F(TWebBrowserTest, WidthAndHeightSizeTheViewInPlace)
{
    m_browser->setHeight(123);
    m_browser->setWidth(321);
    EXPECT_EQ(m_browser->geometry(), QRect(0, 0, 321, 123));
    EXPECT_EQ(m_browser->view()->geometry(), QRect(0, 0, 321, 123));
    EXPECT_EQ(m_browser->Width(), 321);
    EXPECT_EQ(m_browser->Height(), 123);
    m_browser->setWidth(0);
    EXPECT_EQ(m_browser->view()->geometry(), QRect(0, 0, 0, 123));
}

TEST_F(TWebBrowserTest, PageFollowsThePalette)
{
    ASSERT_TRUE(show("x^2"));
    QPalette dark = m_browser->palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x22, 0x24));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    m_browser->setPalette(dark);
    ASSERT_TRUE(show("y^2"));
    EXPECT_EQ(js("getComputedStyle(document.body).backgroundColor"), QStringLiteral("rgb(32, 34, 36)"));
    EXPECT_EQ(js("getComputedStyle(document.body).color"), QStringLiteral("rgb(238, 238, 238)"));
}

TEST_F(TWebBrowserTest, ControlWheelZoomsThePreview)
{
    ASSERT_TRUE(show("x^2"));
    QWidget* surface = m_browser->view()->focusProxy();
    ASSERT_NE(surface, nullptr);
    const qreal before = m_browser->page()->zoomFactor();
    const QPoint at(60, 60);
    QWheelEvent wheel(at, surface->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(surface, &wheel);
    // Qt's QTRY_ macros only return from the test function; gtest needs its own check.
    EXPECT_TRUE(TestSupport::waitUntil([&] { return m_browser->page()->zoomFactor() > before; }));
    // The editor's text is not zoomed along: the zoom stays in the view.
    ASSERT_TRUE(show("y^2"));
    EXPECT_GT(m_browser->page()->zoomFactor(), before);
}

TEST_F(TWebBrowserTest, NavigationCommandChangesAreReportedAndHandlerFailuresStayInside)
{
    ASSERT_TRUE(show("x^2"));
    struct Call {
        int command;
        bool enable;
    };
    QList<Call> calls;
    TestSupport::MessageBoxRecorder reports;
    m_browser->OnCommandStateChange = TWebBrowser::TCommandStateChangeEvent::fromFunction([&](TObject* sender, int command, bool enable) {
        EXPECT_EQ(sender, m_browser);
        calls.append({ command, enable });
        throw Exception(QStringLiteral("The handler fails"));
    });
    // A history entry made inside the page enables the Back command.
    js("history.pushState(null, '', '#second'); ''");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !calls.isEmpty(); }));
    EXPECT_EQ(calls.front().command, TWebBrowser::CommandNavigateBack);
    EXPECT_TRUE(calls.front().enable);
    // The failure went to the application object instead of through Qt.
    ASSERT_FALSE(reports.boxes().isEmpty());
    EXPECT_TRUE(reports.boxes().front().text.startsWith(QLatin1String("The handler fails")));

    // Refreshes do not navigate, so they report nothing.
    calls.clear();
    ASSERT_TRUE(show("y^2"));
    ASSERT_TRUE(show("z^2"));
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(TWebBrowserTest, PreviewRecoversWhenTheRenderProcessDies)
{
    m_window->activateWindow();
    m_editor->setFocus();
    ASSERT_TRUE(show("x^2"));
    const qint64 pid = m_browser->page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    QSignalSpy spy(m_browser, &TWebBrowser::rendered);
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    // The page comes back on its own and says why the text is missing.
    ASSERT_TRUE(spy.wait(RenderTimeoutMs));
    EXPECT_EQ(count("#content .katex"), 0);
    EXPECT_FALSE(js("document.getElementById('notice').innerText").isEmpty());
    // The editor keeps the keyboard focus through it.
    EXPECT_EQ(m_window->focusWidget(), m_editor);

    ASSERT_TRUE(show("y^2"));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("y^2"));
}

// A render process that keeps ending as soon as the page is back is not
// started again in a tight loop: the page comes back after a pause.
TEST_F(TWebBrowserTest, RenderProcessThatEndsAgainSoonIsRestartedAfterAPause)
{
    ASSERT_TRUE(show("x^2"));
    QElapsedTimer clock;
    auto timeToComeBack = [&] {
        QSignalSpy spy(m_browser, &TWebBrowser::rendered);
        const qint64 pid = m_browser->page()->renderProcessPid();
        EXPECT_GT(pid, 0);
        EXPECT_EQ(::kill(pid_t(pid), SIGKILL), 0);
        clock.start();
        EXPECT_TRUE(spy.wait(RenderTimeoutMs));
        return clock.elapsed();
    };
    const qint64 first = timeToComeBack();
    const qint64 again = timeToComeBack();
    EXPECT_GE(again, 1000);
    EXPECT_LT(first, again);
    ASSERT_TRUE(show("y^2"));
}

// A text longer than the preview's bound, edited before its cut: the page
// ends up with the first part of the new text, the edit and the moved cut
// end both in place.
TEST_F(TWebBrowserTest, EditBeforeTheCutOfALongTextShowsTheNewFirstPart)
{
    const QByteArray words = QByteArray("word ").repeated(PreviewSource::DefaultMaxChars / 5 + 10);
    const QList<QByteArray> texts = { "$$a$$\n" + words, "$$ab$$\n" + words, "$$b$$\n" + words, "$$b$$\nw" + words };
    for (const QByteArray& text : texts) {
        ASSERT_TRUE(show(text));
        EXPECT_TRUE(js("pageUpdate.shownText()") == QString::fromUtf8(text.left(PreviewSource::DefaultMaxChars)))
            << text.left(8).toStdString();
    }
}

// Formulas alike (a number written twice in each, a definition in front of
// them) still come in blocks of several formulas each.
TEST_F(TWebBrowserTest, FormulasAlikeComeInBlocksOfSeveral)
{
    QByteArray text = "$$\\gdef\\R{\\mathbb{R}}$$\n";
    for (int i = 0; i < 300; ++i)
        text += QStringLiteral("$$\\frac{a_{%1}}{b^2} + \\sqrt{x_{%1}} = y$$\n").arg(i).toUtf8();
    ASSERT_TRUE(show(text));
    EXPECT_GT(count("#content > div"), 2);
    EXPECT_LT(count("#content > div"), 301 / 4);
}
