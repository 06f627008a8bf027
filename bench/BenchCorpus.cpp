#include "BenchCorpus.h"

#include <iterator>

namespace {

QString largeAlign()
{
    QString text = QStringLiteral("\\begin{align*}\n");
    for (int i = 1; i <= 40; ++i) {
        text += QStringLiteral("f_{%1}(x) &= \\sum_{k=0}^{%1} \\binom{%1}{k} x^k (1-x)^{%1-k} + \\int_0^{x} t^{%1}\\,dt")
                    .arg(i);
        text += i < 40 ? QStringLiteral(" \\\\\n") : QStringLiteral("\n");
    }
    text += QStringLiteral("\\end{align*}");
    return text;
}

QString longMixedText()
{
    const QString paragraph = QStringLiteral(
        "For every $n \\ge 1$ the sum $\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}$ holds, and with $a_n = n^2$ "
        "we get $\\lim_{n\\to\\infty} a_n/n^3 = 0$. The integral $\\int_0^\\pi \\sin x\\,dx = 2$ and the "
        "matrix $\\begin{pmatrix} a & b \\\\ c & d \\end{pmatrix}$ with $\\det = ad - bc$ follow.\n");
    QString text;
    while (text.size() < 5 * 1024)
        text += paragraph;
    return text;
}

} // namespace

QList<BenchCorpus::Entry> BenchCorpus::entries()
{
    const QString simple = QStringLiteral("simple");
    const QString typical = QStringLiteral("typical");
    const QString large = QStringLiteral("large");
    QList<Entry> list = {
        { simple, QStringLiteral("x^2"), QStringLiteral("x^2"), QStringLiteral("y^2") },
        { typical, QStringLiteral("quadratic formula"), QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}"), {} },
        { typical, QStringLiteral("integral"), QStringLiteral("\\int_0^1 x^2\\,dx = \\frac{1}{3}"), {} },
        { typical, QStringLiteral("sum"), QStringLiteral("\\sum_{k=1}^{n} k^2 = \\frac{n(n+1)(2n+1)}{6}"), {} },
        { typical, QStringLiteral("matrix"),
            QStringLiteral("A = \\begin{pmatrix} 1 & 2 & 3 \\\\ 4 & 5 & 6 \\\\ 7 & 8 & 9 \\end{pmatrix}"), {} },
        { typical, QStringLiteral("cases"),
            QStringLiteral("|x| = \\begin{cases} x & x \\ge 0 \\\\ -x & x < 0 \\end{cases}"), {} },
        { large, QStringLiteral("40-line align*"), largeAlign(), {} },
        { large, QStringLiteral("5 KB text"), longMixedText(), {} },
    };
    for (Entry& entry : list) {
        if (entry.variant.isEmpty())
            entry.variant = entry.text.endsWith(QLatin1Char('\n')) ? entry.text + QStringLiteral("End.")
                                                                    : entry.text + QStringLiteral(" + 1");
    }
    // The align block's variant must stay inside the environment.
    for (Entry& entry : list) {
        if (entry.name.startsWith(QLatin1String("40-line")))
            entry.variant = QString(entry.text).replace(QStringLiteral("f_{1}(x)"), QStringLiteral("g_{1}(x)"));
    }
    return list;
}

QStringList BenchCorpus::sizeClasses()
{
    return { QStringLiteral("simple"), QStringLiteral("typical"), QStringLiteral("large") };
}

QStringList BenchCorpus::displayFormulas(qsizetype bytes)
{
    static const char* const templates[] = {
        "\\int_0^{%1} x^2\\,dx = \\frac{%1^3}{3}",
        "x_{%1} = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}",
        "\\sum_{k=1}^{%1} k^2 = \\frac{n(n+1)(2n+1)}{6}",
        "A_{%1} = \\begin{pmatrix} 1 & 2 \\\\ 3 & %1 \\end{pmatrix}",
        "f_{%1}(x) = \\begin{cases} x & x \\ge 0 \\\\ -x & x < 0 \\end{cases}",
        "\\lim_{n\\to\\infty} \\left(1 + \\frac{1}{n}\\right)^{n} = e_{%1}",
        "e^{i\\theta_{%1}} = \\cos\\theta_{%1} + i \\sin\\theta_{%1}",
        "\\nabla \\cdot \\mathbf{E}_{%1} = \\frac{\\rho}{\\varepsilon_0}",
    };
    QStringList formulas;
    qsizetype size = 0;
    for (int i = 0; size < bytes; ++i) {
        const QString formula = QString::fromLatin1(templates[i % std::size(templates)]).arg(i + 1);
        size += formula.size() + 5;
        formulas.append(formula);
    }
    return formulas;
}

QString BenchCorpus::document(const QStringList& formulas, int labels)
{
    QString text;
    for (qsizetype i = 0; i < formulas.size(); ++i) {
        // Counted from the end, so a formula inserted at the top leaves the
        // others' labels as they were.
        const qsizetype j = formulas.size() - 1 - i;
        if (j < labels) {
            text += QStringLiteral("\\begin{equation} %1 \\label{e%2} \\end{equation}\nBy \\eqref{e%2} and \\ref{e%3}.\n")
                        .arg(formulas[i])
                        .arg(j)
                        .arg((j * 7) % labels);
        } else {
            text += QStringLiteral("$$") + formulas[i] + QStringLiteral("$$\n");
        }
    }
    return text;
}
