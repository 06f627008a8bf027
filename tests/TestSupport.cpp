#include "TestSupport.h"

#include "TApplication.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace TestSupport {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void pump(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

MessageBoxRecorder::MessageBoxRecorder()
{
    Application->SetMessageBoxPresenter([this](const QString& text, const QString& caption, int flags) {
        m_boxes.append({ text, caption, flags });
        return TApplication::IDOK;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    Application->SetMessageBoxPresenter({});
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace TestSupport
