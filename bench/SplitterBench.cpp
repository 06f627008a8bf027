// What a drag of the bar between editor and preview costs, in the real main
// window under a display (scripts/bench.sh uses xvfb-run): a 50-step drag
// must lay nothing out and repaint neither the editor nor the preview until
// the release, and the release must lay the window out once. It prints the
// counts and the time per mouse move and of the release.

#include "controls/TAlignLayout.h"
#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "controls/TMemo.h"
#include "controls/TPanel.h"
#include "widgets/TSplitter.h"
#include "app/preview/TWebBrowser.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

// Counts paint and resize events of a widget and all its descendants.
class EventCounter : public QObject {
public:
    void watch(QWidget* widget)
    {
        widget->installEventFilter(this);
        for (QWidget* child : widget->findChildren<QWidget*>())
            child->installEventFilter(this);
    }
    int paints = 0;
    int resizes = 0;
    void clear() { paints = resizes = 0; }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        else if (event->type() == QEvent::Resize)
            ++resizes;
        return false;
    }
};

void pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

void send(TSplitter* splitter, QEvent::Type type, QPoint at)
{
    QMouseEvent event(type, at, splitter->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(splitter, &event);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebBrowser::PrepareEngine();
    // The main window writes its settings beside the executable when the
    // application object goes, so the folder must outlive it.
    QTemporaryDir dir;
    TApplication application(argc, argv);
    QGuiApplication::clipboard()->setText(QStringLiteral("\\int_0^1 x^2\\,dx = \\frac{1}{3}"));
    application.SetExeName(dir.filePath(QStringLiteral("tamsel")));
    TKelvaneMainForm* form = nullptr;
    application.CreateForm(form);
    form->show();
    form->resize(800, 600);
    pump(3000);

    auto* layout = qobject_cast<TAlignLayout*>(form->ClientArea()->layout());
    int layouts = 0;
    QObject::connect(layout, &TAlignLayout::aligned, [&] { ++layouts; });
    EventCounter editor, preview;
    editor.watch(form->Memo1);
    preview.watch(form->Panel1);

    constexpr int steps = 50;
    QList<double> moveUs;
    QElapsedTimer clock;
    send(form->Splitter1, QEvent::MouseButtonPress, { 10, 1 });
    for (int step = 1; step <= steps; ++step) {
        clock.start();
        send(form->Splitter1, QEvent::MouseMove, { 10, 1 + 2 * step });
        moveUs << double(clock.nsecsElapsed()) / 1e3;
        pump(10);
    }
    std::printf("drag of %d steps: %d layouts, editor %d paints %d resizes, preview %d paints %d resizes\n", steps,
        layouts, editor.paints, editor.resizes, preview.paints, preview.resizes);
    std::sort(moveUs.begin(), moveUs.end());
    std::printf("mouse move: median %.1f us, max %.1f us\n", moveUs[steps / 2], moveUs.back());

    layouts = 0;
    editor.clear();
    preview.clear();
    clock.start();
    send(form->Splitter1, QEvent::MouseButtonRelease, { 10, 1 + 2 * steps });
    const double releaseMs = double(clock.nsecsElapsed()) / 1e6;
    pump(1000);
    std::printf("release: %d layouts, editor %d resizes, preview %d resizes (%d paints after it), %.2f ms; "
                "editor now %d px high\n",
        layouts, editor.resizes, preview.resizes, preview.paints, releaseMs, form->Memo1->height());
    form->hide();
    return layouts == 1 ? 0 : 1;
}
