#include "app/preview/TWebBrowser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWidget>

#include <memory>

// A paper pasted whole: its references, the commands of its formulas the
// typesetter lacks, and the LaTeX of its prose.
namespace {

constexpr int TimeoutMs = 20000;

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
    QTimer::singleShot(TimeoutMs, &state->loop, &QEventLoop::quit);
    if (!state->isDone)
        state->loop.exec();
    EXPECT_TRUE(state->isDone) << "no answer to: " << script.toStdString();
    return state->value;
}

// Each piece of the page as a word: a text run as written, prose as what it
// shows (headings in <h1>...</h>, styles and blocks by their tag or class),
// a formula as $what it shows$ (! before a formula that failed, ~ before one
// drawn with its error), references as they read.
constexpr const char* PageSummary = R"JS(
(() => {
  const prose = (n) => n.nodeType === 3 ? n.data
    : n.classList.contains('preview-heading') ? '<h' + n.className.replace(/\D/g, '') + '>' + n.textContent + '</h>'
    : ['EM', 'B', 'I', 'CODE', 'U', 'SUP'].includes(n.tagName) ? '<' + n.tagName.toLowerCase() + '>' + n.textContent + '</>'
    : n.classList.contains('preview-footnote') ? '{' + n.textContent + '}'
    : n.classList.contains('preview-prose') ? Array.from(n.childNodes).map(prose).join('') : n.textContent;
  const formula = (n) => n.classList.contains('preview-error') ? '!' + n.querySelector('.preview-source').textContent
    : n.classList.contains('preview-definition') ? '' : (n.classList.contains('preview-partial') ? '~' : '') + '$'
      + n.querySelector('.katex-html').textContent.replace(/\u200b/g, '').replace(/\u00a0/g, ' ') + '$';
  return Array.from(document.querySelectorAll('#content > div')).flatMap((b) => Array.from(b.childNodes))
    .map((n) => n.nodeType === 3 || n.classList.contains('preview-prose') ? prose(n) : formula(n)).join('');
})()
)JS";

class PaperTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 480);
        m_browser = new TWebBrowser(m_window.get());
        m_browser->setHeight(480);
        m_browser->setWidth(640);
        m_window->show();
        m_path = m_dir.filePath(QStringLiteral("preview.tex"));
    }

    bool show(const QByteArray& text)
    {
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(text);
        file.close();
        QSignalSpy spy(m_browser, &TWebBrowser::rendered);
        m_browser->Navigate(m_path);
        return spy.wait(TimeoutMs)
            && TestSupport::waitUntil([&] { return js(TestSupport::EveryFormulaHasItsMathml) == "true"; }, TimeoutMs);
    }

    QString js(const char* script) { return evaluate(m_browser->page(), QString::fromUtf8(script)).toString(); }

    // The references as they read, in page order, then the warnings.
    QString references()
    {
        return js("Array.from(document.querySelectorAll('.preview-ref, [data-tamselref]')).map((r) => r.textContent)"
                  "  .join(' ') + ' |' + pageReferences.warnings().map((w) => ' ' + w.message).join('')");
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<QWidget> m_window;
    TWebBrowser* m_browser = nullptr;
};

} // namespace

// A label gives its formula's or row's number to every reference on the
// page, before or after it; an edit renumbers them.
TEST_F(PaperTextTest, ReferencesReadTheNumbersOfTheirLabels)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        { "\\begin{equation} a \\label{e1} \\end{equation}\nBy \\eqref{e1}, $x = \\ref{e1}$.", "(1) 1 |" },
        { "By \\ref{two}: \\begin{equation} a \\end{equation}\n\\begin{equation} b \\label{two} \\end{equation}", "2 |" },
        { "\\begin{align} a \\label{r1} \\\\ b \\nonumber \\\\ c \\label{r3} \\end{align}\n\\eqref{r3} and \\ref{r1}",
            "(2) 1 |" },
        { "\\begin{gather} a \\\\ b \\label{g} \\end{gather} \\begin{equation*} s \\end{equation*}"
          "\\begin{equation} x \\tag{A} \\label{t} \\end{equation} \\ref{g} \\eqref{t}",
            "2 (A) |" },
        { "\\begin{multline} a \\\\ b \\label{m} \\end{multline}\n\\eqref{m}", "(1) |" },
        { "See \\ref{nope}.", "?? | Reference 'nope' undefined." },
        { "\\begin{equation} a \\label{d} \\end{equation}\\begin{equation} b \\label{d} \\end{equation} \\ref{d}",
            "1 | Label 'd' multiply defined." },
        { "\\section{One}\\label{s1}\n\\section{Two}\\label{s2} \\ref{s2} $x$", "2 |" },
        // An equation inserted at the top renumbers the page.
        { "\\begin{equation} a \\label{e1} \\end{equation}\nBy \\eqref{e1}.", "(1) |" },
        { "\\begin{equation} n \\end{equation}\n\\begin{equation} a \\label{e1} \\end{equation}\nBy \\eqref{e1}.",
            "(2) |" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(show(c.text)) << c.text;
        EXPECT_EQ(references().toStdString(), c.expected) << c.text;
    }
    EXPECT_EQ(js("Array.from(document.querySelectorAll('.katex-display')).map((d) => d.style.counterReset).join()"),
        QStringLiteral("katexEqnNo 0,katexEqnNo 1"));
}

// Commands a paper's formulas use that the typesetter lacks; a command
// nothing knows is drawn in red, its formula with it.
TEST_F(PaperTextTest, CommandsOfPapersTypeset)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        { "$\\ensuremath{x}$ $\\text{b \\ensuremath{y}}$", "$x$ $b y$" },
        { "\\newcommand{\\seq}[2][n]{(#2_{#1})}\n$\\seq{x} \\seq[k]{y}$", "$(xn)(yk)$" },
        { "\\let\\phi\\varphi\n$\\phi$", "$\xcf\x86$" },
        { "$\\begin{array}{cc}\\toprule a & b \\\\ \\midrule c & d \\\\ \\cmidrule(lr){1-2} e & f\\\\ \\bottomrule"
          "\\end{array}$",
            "$acebdf$" },
        { "$a + \\nosuch{b} + c$ and $\\frac{1}{$", "~$a+\\nosuchb+c$ and !\\frac{1}{" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(show(c.text)) << c.text;
        EXPECT_EQ(js(PageSummary).toStdString(), c.expected) << c.text;
    }
    ASSERT_TRUE(show("$$\\begin{array}{c}\\toprule a\\\\ \\bottomrule\\end{array}$$"));
    EXPECT_EQ(js("String(document.querySelectorAll('.hline').length)"), QStringLiteral("2")) << "rules are drawn";
    ASSERT_TRUE(show("\\begin{multline} aaaaaaaaaa \\\\ b \\\\ c \\end{multline}"));
    EXPECT_EQ(js("String(document.querySelectorAll('.eqn-num').length)"), QStringLiteral("1")) << "one number";
}

// A starred definition defines its command; prose that names a definition
// command is prose, with its formulas.
TEST_F(PaperTextTest, DefinitionsStandAloneAndStarredOnesDefine)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        { "\\newcommand*{\\st}{T}\n$A^*$ $\\st$", "$A\xe2\x88\x97$ $T$" },
        { "\\newcommand{\\st}{T}\n\\renewcommand*{\\st}{U}\n$A^*\\st$", "$A\xe2\x88\x97U$" },
        { "The \\def primitive is older than $\\LaTeX$ itself.\nNext $y$.",
            "The \\def primitive is older than $LATEX$ itself.\nNext $y$." },
        { "Use `\\newcommand{\\x}{y}` for $x$.", "Use `\\newcommand{\\x}{y}` for $x$." },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(show(c.text)) << c.text;
        EXPECT_EQ(js(PageSummary).toStdString(), c.expected) << c.text;
    }
}

// The LaTeX that structures a paper's prose is shown as what it stands for.
TEST_F(PaperTextTest, ProseShowsItsStructure)
{
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        { "\\section{Intro}\nText \\emph{new} and \\textbf{bold}.\n\\subsection*{Aside}\n\\subsection{Sub}\n$x$",
            "<h1>1\xe2\x80\x83Intro</h>Text <em>new</> and <b>bold</>.\n<h2>Aside</h><h2>1.1\xe2\x80\x83Sub</h>$x$" },
        { "\\begin{itemize}\n\\item One $x$\n\\item Two\n\\end{itemize}\n\\begin{enumerate}\\item A\\item B\\end{enumerate}",
            "\xe2\x80\xa2 One $x$\n\xe2\x80\xa2 Two\n1. A2. B" },
        { "\\newtheorem{lem}{Lemma}\n\\begin{theorem}[Main] $x$ \\end{theorem}\n\\begin{lem} L \\end{lem}\n"
          "\\begin{proof} Done. \\end{proof}",
            "Theorem 1 (Main).  $x$ \nLemma 1.  L \nProof.  Done. \xe2\x96\xa1" },
        { "As in \\cite{a,b}~\\cite[p.~2]{c}, 3--5 or---``quoted''.\\footnote{A note.}\n% hidden\n5% kept $x$",
            "As in [a, b]\xc2\xa0[c, p.\xc2\xa0" "2], 3\xe2\x80\x93" "5 or\xe2\x80\x94\xe2\x80\x9cquoted\xe2\x80\x9d.<sup>1</>{A note.}\n5% kept $x$" },
        // Bad input: what is not closed or not known stays visible.
        { "\\item alone \\begin{itemize} \\item open \\unknown{x} \\begin{foo} \\emph{open $x$",
            "\\item alone  \xe2\x80\xa2 open \\unknown{x} \\begin{foo} \\emph{open $x$" },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(show(c.text)) << c.text;
        EXPECT_EQ(js(PageSummary).toStdString(), c.expected) << c.text;
    }
}

// A text without any of a paper's LaTeX shows as it did: plain runs are text
// nodes as written.
TEST_F(PaperTextTest, TextsWithoutPaperLaTeXAreUnchanged)
{
    const char* texts[] = {
        "Costs 5% -- see ~/notes and ``this'' $x$",
        "| a | b |\n|---|---|\n| $x$ | y |",
        "Markdown `code` and *stars* $\\alpha$ end",
    };
    for (const char* text : texts) {
        ASSERT_TRUE(show(text)) << text;
        EXPECT_EQ(js("String(document.querySelectorAll('.preview-prose').length)"), QStringLiteral("0")) << text;
        EXPECT_EQ(js("Array.from(document.querySelectorAll('#content > div')).flatMap((b) => Array.from(b.childNodes))"
                     ".map((n) => n.nodeType === 3 ? n.data : '$' + n.querySelector('annotation').textContent + '$').join('')")
                      .toStdString(),
            text);
    }
}

// The macros file: a definition left open ends where the next one starts,
// and a rewrite of the same length is read again.
TEST_F(PaperTextTest, MacrosFileEndsAnOpenDefinitionAndNoticesARewrite)
{
    const QString macrosPath = m_dir.filePath(QStringLiteral("macros.tex"));
    const auto writeMacros = [&](const QByteArray& bytes) {
        QFile file(macrosPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    writeMacros("\\newcommand{\\aa}{A\n\\newcommand{\\bb}{B}\n");
    m_browser->setMacrosFile(macrosPath);
    ASSERT_TRUE(show("$\\bb$"));
    EXPECT_EQ(js(PageSummary), QStringLiteral("$B$"));
    writeMacros("\\newcommand{\\bb}{C}\n\\newcommand{\\aa}{A\n");
    ASSERT_TRUE(show("$\\bb$ "));
    EXPECT_EQ(js(PageSummary), QStringLiteral("$C$ ")) << "the same length, read again";
}
