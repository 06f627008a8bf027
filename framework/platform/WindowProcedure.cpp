#include "platform/WindowProcedure.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace {

TMinMaxInfo defaultLimits(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->availableGeometry().size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    return { screenSize, QPoint(0, 0), QSize(0, 0), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) };
}

// Holds a control's procedure and turns its Qt events into messages.
class Router : public QObject {
public:
    explicit Router(QWidget* control)
        : QObject(control)
        , m_control(control)
        , m_winId(control->internalWinId())
    {
        setObjectName(QStringLiteral("WindowProcedureRouter"));
        control->installEventFilter(this);
    }

    TWndProc procedure = WindowProcedure::Default();
    // The sizes the window had before limits were applied, to go back to.
    std::optional<std::pair<QSize, QSize>> ownSizes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_control)
            return false;
        if (event->type() == QEvent::Show && m_control->isWindow())
            WindowProcedure::UpdateSizeLimits(m_control);
        if (event->type() == QEvent::WinIdChange) {
            const WId old = m_winId;
            m_winId = m_control->internalWinId();
            if (old != 0 && old != m_winId) {
                TMessage message { Messages::WM_DESTROY, 0, 0, 0 };
                WindowProcedure::Send(m_control, message);
            }
        }
        return false;
    }

private:
    QWidget* m_control;
    WId m_winId;
};

Router* routerOf(QWidget* control, bool create)
{
    auto* router = control->findChild<Router*>(QStringLiteral("WindowProcedureRouter"), Qt::FindDirectChildrenOnly);
    if (!router && create)
        router = new Router(control);
    return router;
}

} // namespace

namespace WindowProcedure {

TWndProc Get(QWidget* control)
{
    const Router* router = control ? routerOf(control, false) : nullptr;
    return router ? router->procedure : Default();
}

void Set(QWidget* control, const TWndProc& procedure)
{
    if (control)
        routerOf(control, true)->procedure = procedure ? procedure : Default();
}

const TWndProc& Default()
{
    static const TWndProc procedure = std::make_shared<const TWndMethod>([](QWidget* control, TMessage& message) {
        if (message.Msg == Messages::WM_GETMINMAXINFO && control)
            *reinterpret_cast<TMinMaxInfo*>(message.LParam) = defaultLimits(control);
    });
    return procedure;
}

void Call(const TWndProc& procedure, QWidget* control, TMessage& message)
{
    (*(procedure ? procedure : Default()))(control, message);
}

void Send(QWidget* control, TMessage& message)
{
    Call(Get(control), control, message);
}

void UpdateSizeLimits(QWidget* window)
{
    if (!window)
        return;
    const TMinMaxInfo defaults = defaultLimits(window);
    TMinMaxInfo limits = defaults;
    TMessage message { Messages::WM_GETMINMAXINFO, 0, reinterpret_cast<qintptr>(&limits), 0 };
    Send(window, message);
    Router* router = routerOf(window, limits != defaults);
    if (!router)
        return;
    if (limits == defaults) {
        if (router->ownSizes) {
            window->setMinimumSize(router->ownSizes->first);
            window->setMaximumSize(router->ownSizes->second);
            router->ownSizes.reset();
        }
        return;
    }
    if (!router->ownSizes)
        router->ownSizes = std::pair { window->minimumSize(), window->maximumSize() };
    window->setMinimumSize(limits.minTrackSize.expandedTo(QSize(0, 0)));
    window->setMaximumSize(limits.maxTrackSize.boundedTo(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)));
}

} // namespace WindowProcedure
