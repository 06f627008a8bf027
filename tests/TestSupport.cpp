#include "TestSupport.h"

#include "application/TApplication.h"

#include <QFile>
#include <QTest>

namespace TestSupport {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

void pump(int ms)
{
    QTest::qWait(ms);
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
