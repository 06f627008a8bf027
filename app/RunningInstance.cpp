#include "app/RunningInstance.h"

#include "platform/TInstanceChannel.h"

#include <QCoreApplication>
#include <QPointer>

#include <memory>

namespace {

// The check passes the class name as a short string of at most 255 characters.
constexpr qsizetype MaxClassNameLength = 255;

// A copy that holds the name but does not listen yet is still creating its
// main window, which with the web view takes a few seconds on a slow machine.
constexpr qint64 DefaultListenerWaitMs = 10000;
qint64 listenerWaitMs = DefaultListenerWaitMs;
// The restore runs the running copy's restore hand-over (paste and refresh).
constexpr qint64 AnswerWaitMs = 5000;

const QByteArray ApplicationWindowClass = QByteArrayLiteral("TApplication");

namespace Request {
const QByteArray TopWindowClass = QByteArrayLiteral("top-window-class");
const QByteArray HasDesignerWindow = QByteArrayLiteral("has-designer-window");
const QByteArray IsMinimized = QByteArrayLiteral("is-minimized");
const QByteArray Restore = QByteArrayLiteral("restore");
const QByteArray ShowWithoutActivation = QByteArrayLiteral("show-without-activation");
const QByteArray BringForward = QByteArrayLiteral("bring-forward");
const QByteArray BringLastActivePopupForward = QByteArrayLiteral("bring-last-active-popup-forward");
} // namespace Request

const QByteArray Yes = QByteArrayLiteral("yes");
const QByteArray No = QByteArrayLiteral("no");
const QByteArray Done = QByteArrayLiteral("done");

// The name this process claimed, until ServeRunningInstanceRequests hands it
// to the application object; a process that never serves releases it at exit.
std::unique_ptr<TInstanceChannel>& claimedChannel()
{
    static std::unique_ptr<TInstanceChannel> channel;
    return channel;
}

QPointer<TInstanceChannel>& servingChannel()
{
    static QPointer<TInstanceChannel> channel;
    return channel;
}

// The starting copy's side of the conversation, in the order of the check.
// Once the running copy has been reached the answer is true, whether or not
// it manages to come forward: an unanswered question ends the conversation.
bool bringRunningCopyForward(TInstanceChannel& channel)
{
    auto ask = [&channel](const QByteArray& request) {
        return channel.ask(request, QDeadlineTimer(AnswerWaitMs));
    };

    const std::optional<QByteArray> topClass = ask(Request::TopWindowClass);
    if (!topClass)
        return true;
    if (*topClass == ApplicationWindowClass) {
        // An unanswered question counts as no designer window, like a failed
        // enumeration.
        if (ask(Request::HasDesignerWindow) == Yes)
            return false;
        if (ask(Request::IsMinimized) == Yes) {
            // The restore brings the whole program back; no pop-up is asked for.
            ask(Request::Restore);
            return true;
        }
        ask(Request::ShowWithoutActivation);
    } else {
        ask(Request::BringForward);
    }
    ask(Request::BringLastActivePopupForward);
    return true;
}

std::optional<QByteArray> answer(const RunningInstanceHandlers& handlers, const QByteArray& request)
{
    auto yesOrNo = [](const std::function<bool()>& question) {
        return question && question() ? Yes : No;
    };
    auto perform = [](const std::function<void()>& action) {
        if (action)
            action();
        return Done;
    };

    if (request == Request::TopWindowClass)
        return handlers.topWindowClass ? handlers.topWindowClass().toUtf8() : QByteArray();
    if (request == Request::HasDesignerWindow)
        return yesOrNo(handlers.hasDesignerWindow);
    if (request == Request::IsMinimized)
        return yesOrNo(handlers.isMinimized);
    if (request == Request::Restore)
        return perform(handlers.restore);
    if (request == Request::ShowWithoutActivation)
        return perform(handlers.showWithoutActivation);
    if (request == Request::BringForward)
        return perform(handlers.bringForward);
    if (request == Request::BringLastActivePopupForward)
        return perform(handlers.bringLastActivePopupForward);
    // Not a question of this program: the asker is something else.
    return std::nullopt;
}

} // namespace

bool ActivateRunningInstance(const QString& className, const QString& title)
{
    // No window has an empty class and an empty caption to search for.
    if (className.isEmpty() && title.isEmpty())
        return false;

    auto channel = std::make_unique<TInstanceChannel>(
        TInstanceChannel::nameFor(className.left(MaxClassNameLength), title));
    switch (channel->connectOrClaim(QDeadlineTimer(listenerWaitMs))) {
    case TInstanceChannel::Reach::Claimed:
        claimedChannel() = std::move(channel);
        return false;
    case TInstanceChannel::Reach::Unavailable:
        // Like a failed window search: the program starts normally.
        return false;
    case TInstanceChannel::Reach::Taken:
        // A live copy holds the name but never listened within the wait; it
        // runs, so this one must not, even though it could not be brought
        // forward.
        return true;
    case TInstanceChannel::Reach::Connected:
        break;
    }
    return bringRunningCopyForward(*channel);
}

QString RunningInstanceName()
{
    const TInstanceChannel* channel = claimedChannel() ? claimedChannel().get() : servingChannel().data();
    return channel && channel->isClaimed() ? channel->name() : QString();
}

bool ServeRunningInstanceRequests(RunningInstanceHandlers handlers)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    if (std::unique_ptr<TInstanceChannel>& claimed = claimedChannel()) {
        if (claimed->thread() != app->thread())
            return false;
        // The application object keeps the claim until it is destroyed; the
        // socket closes when its event loop ends, while it can still do so
        // cleanly.
        claimed->setParent(app);
        QObject::connect(app, &QCoreApplication::aboutToQuit, claimed.get(), &TInstanceChannel::stopListening);
        servingChannel() = claimed.release();
    }
    TInstanceChannel* channel = servingChannel();
    if (!channel)
        return false;
    return channel->listen([handlers = std::move(handlers)](const QByteArray& request) {
        return answer(handlers, request);
    });
}

void SetListenerWaitForTesting(qint64 ms)
{
    listenerWaitMs = ms > 0 ? ms : DefaultListenerWaitMs;
}
