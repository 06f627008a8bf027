#include "TWebBrowser.h"

#include <gtest/gtest.h>

#include <QApplication>
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

#include <memory>

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
        QVariant flags(0), target(0), post(0), headers(0);
        m_browser->Navigate(path, flags, target, post, headers);
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
        return spy.wait(RenderTimeoutMs);
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
    js("window.marker = 42; ''");

    ASSERT_TRUE(show("\\frac{a}{b}"));
    EXPECT_EQ(js("document.querySelector('#content annotation').textContent"), QStringLiteral("\\frac{a}{b}"));
    EXPECT_EQ(count("#content .katex"), 1);
    // Still the same document: updated in place, not reloaded.
    EXPECT_EQ(js(QStringLiteral("window.marker")).toInt(), 42);
}
