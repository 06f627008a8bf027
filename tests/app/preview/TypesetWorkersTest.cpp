#include "app/preview/TWebBrowser.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <memory>
#include <optional>

// The preview's typesetting workers as the page drives them: each test gives
// the page a script that runs before the page's own, which counts the
// workers made (and may make the first one misbehave) and may give the
// workers a short first budget.
namespace {

constexpr int TimeoutMs = 30000;

// Counts the workers the page makes in window.workersMade and the jobs they
// are given in window.jobsPosted; the first one is
// made as the behaviour says: "real", "stuck" (loads but never answers) or
// "failing" (its script fails to load).
QString countingWorkers(const char* firstWorker)
{
    return QStringLiteral(R"((function () {
        const Real = window.Worker;
        window.workersMade = 0;
        window.jobsPosted = 0;
        window.Worker = function (url) {
            const real = new Real(url);
            const post = real.postMessage.bind(real);
            real.postMessage = (jobs) => {
                window.jobsPosted += jobs.length;
                post(jobs);
            };
            if (++window.workersMade !== 1 || "%1" === "real")
                return real;
            const isFailing = "%1" === "failing";
            return { postMessage() {}, terminate() { real.terminate(); }, set onmessage(handler) {},
                set onerror(handler) {
                    if (isFailing)
                        setTimeout(() => handler({ preventDefault() {} }), 0);
                } };
        };
    })();)")
        .arg(QLatin1String(firstWorker));
}

class TypesetWorkersTest : public ::testing::Test {
protected:
    // A pane whose page runs the script before its own.
    void start(const QString& script)
    {
        m_window = std::make_unique<QWidget>();
        m_window->resize(640, 480);
        m_browser = new TWebBrowser(m_window.get());
        m_browser->setWidth(640);
        m_browser->setHeight(480);
        QWebEngineScript first;
        first.setName(QStringLiteral("test"));
        first.setSourceCode(script);
        first.setInjectionPoint(QWebEngineScript::DocumentCreation);
        first.setWorldId(QWebEngineScript::MainWorld);
        first.setRunsOnSubFrames(false);
        m_browser->page()->scripts().insert(first);
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
        return spy.wait(TimeoutMs);
    }

    QString js(const QString& script)
    {
        std::optional<QVariant> value;
        m_browser->page()->runJavaScript(script, [&value](const QVariant& result) { value = result; });
        EXPECT_TRUE(TestSupport::waitUntil([&] { return value.has_value(); }, TimeoutMs)) << script.toStdString();
        return value.value_or(QVariant()).toString();
    }

    QString shownFormula()
    {
        return js(QStringLiteral("(document.querySelector('#content .katex-html') || { textContent: '' }).textContent"
                                 " + (document.querySelector('.preview-error') ? ' error' : '')"));
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<QWidget> m_window;
    TWebBrowser* m_browser = nullptr;
};

} // namespace

// A worker that does not get ready in its time, whether it hangs at its start
// or its script fails to load, never leaves the page without a typesetter:
// another is started, and the formulas show typeset.
TEST_F(TypesetWorkersTest, AWorkerLateOrFailingAtItsStartIsReplacedAndThePageRecovers)
{
    for (const char* first : { "stuck", "failing" }) {
        SCOPED_TRACE(first);
        start(QStringLiteral("window.typesetBudgetMs = 250;") + countingWorkers(first));
        ASSERT_TRUE(show("$x$"));
        // A failed load shows for the refresh it met; the next refresh, a
        // pause later, loads the typesetter anew.
        TestSupport::pump(1100);
        // A formula with a definition, which only a worker typesets.
        ASSERT_TRUE(show("$\\def\\z{y^2}\\z$"));
        EXPECT_TRUE(TestSupport::waitUntil([&] { return shownFormula() == QLatin1String("y2"); }, TimeoutMs))
            << shownFormula().toStdString();
        EXPECT_GE(js(QStringLiteral("String(window.workersMade)")).toInt(), 2);
    }
}

// A valid formula over the first budget (here a short one, as a loaded
// machine makes of the usual one) shows the error at once, then is tried
// again with more time while the page is idle: it ends typeset, and the
// editor hears that it has no error any more.
TEST_F(TypesetWorkersTest, AFormulaOverItsBudgetIsTypesetByALaterTryWithMoreTime)
{
    start(QStringLiteral("window.typesetBudgetMs = 100;") + countingWorkers("real"));
    QByteArray slow = "\\def\\a{x}";
    for (int i = 0; i < 14; ++i)
        slow += "\\edef\\a{\\a\\a}";
    QList<int> errorCounts;
    QObject::connect(m_browser, &TWebBrowser::formulaErrors, m_browser,
        [&](const QString&, const QList<FormulaError>& errors) { errorCounts.append(int(errors.size())); });
    ASSERT_TRUE(show("see $" + slow + "\\a$ here"));
    const QString message = js(QStringLiteral("document.querySelector('.preview-message').textContent"));
    EXPECT_TRUE(message.contains(QLatin1String("tried again"))) << message.toStdString();
    ASSERT_EQ(errorCounts, QList<int> { 1 });

    // Tries with 0.4, 1.6, 6.4, 25.6 s and the last budget follow.
    EXPECT_TRUE(TestSupport::waitUntil([&] { return shownFormula().startsWith(QLatin1String("xxxx")); }, 6 * TimeoutMs))
        << shownFormula().left(80).toStdString();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return errorCounts.last() == 0; }, TimeoutMs));
    EXPECT_EQ(js(QStringLiteral("document.getElementById('content').innerText")).left(4), QStringLiteral("see "));
}

// A worker's clock starts again with each formula it begins, so a text of
// many quick formulas (seconds of work in all) is typeset by the first
// worker, not by a new one every tenth of a second.
TEST_F(TypesetWorkersTest, ManyQuickFormulasKeepTheirWorker)
{
    start(countingWorkers("real"));
    QByteArray text;
    for (int i = 0; i < 1000; ++i)
        text += QStringLiteral("$\\frac{a_{%1}}{b^2} + \\sqrt{x_{%1}} = y$ ").arg(i).toUtf8();
    ASSERT_TRUE(show(text));
    ASSERT_EQ(js(QStringLiteral("String(document.querySelectorAll('.katex').length)")).toInt(), 1000);
    EXPECT_LE(js(QStringLiteral("String(window.workersMade)")).toInt(), 3)
        << "the workers are retired by a clock that runs on across formulas";
}

// Once the page has the typesetter itself (after the first text), a short
// formula without definitions is typeset there, drawing and copy for screen
// readers at once: no worker gets a job for it, neither for the drawing nor
// for a copy made later. A formula with a definition still goes to a worker.
TEST_F(TypesetWorkersTest, AShortFormulaIsTypesetOnThePageOnceWithItsCopy)
{
    start(countingWorkers("real"));
    ASSERT_TRUE(show("$x$"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return js(QStringLiteral("typeof katex")) == QLatin1String("object"); }, TimeoutMs));
    const int posted = js(QStringLiteral("String(window.jobsPosted)")).toInt();

    ASSERT_TRUE(show("a $y^2$ b"));
    EXPECT_EQ(shownFormula(), QStringLiteral("y2"));
    EXPECT_EQ(js(QStringLiteral("String(document.querySelectorAll('#content .katex-mathml').length)")), QStringLiteral("1"));
    EXPECT_EQ(js(QStringLiteral("document.querySelector('#content annotation').textContent")), QStringLiteral("y^2"));
    TestSupport::pump(600);
    EXPECT_EQ(js(QStringLiteral("String(window.jobsPosted)")).toInt(), posted);

    ASSERT_TRUE(show("a $\\def\\z{q}\\z$ b"));
    EXPECT_EQ(shownFormula(), QStringLiteral("q"));
    EXPECT_GT(js(QStringLiteral("String(window.jobsPosted)")).toInt(), posted);
}
