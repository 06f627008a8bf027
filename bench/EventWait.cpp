#include "EventWait.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>

namespace EventWait {

bool until(const std::function<bool()>& condition, int timeoutMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    // The dispatcher is about to sleep once every pending event is handled:
    // the moment to look at the condition again.
    const auto connection = QObject::connect(QAbstractEventDispatcher::instance(),
        &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
            if (condition())
                loop.quit();
        });
    loop.exec();
    QObject::disconnect(connection);
    return condition();
}

void sleep(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace EventWait
