#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Registers the URL schemes of the preview pane before the application object
// exists; binaries without the pane get a version that does nothing.
void TestSupport_RegisterSchemes();

namespace TestSupport {

// Runs the event loop until the condition holds or the time is up; returns
// whether it held.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs the event loop for the given time.
void pump(int ms);

// Records what the application object would show in message boxes.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();

    struct Box {
        QString text;
        QString caption;
        int flags;
    };
    const QList<Box>& boxes() const { return m_boxes; }

private:
    QList<Box> m_boxes;
};

QByteArray readFile(const QString& path);

// A script for the preview page, true once every typeset formula has its copy
// for screen readers (made after the formula is drawn).
inline constexpr const char* EveryFormulaHasItsMathml
    = "document.querySelectorAll('.katex').length === document.querySelectorAll('.katex-mathml').length";
} // namespace TestSupport
