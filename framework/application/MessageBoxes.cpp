#include "application/MessageBoxes.h"

#include "core/DestructionScope.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>

namespace {

QMessageBox::Icon iconFor(int flags)
{
    switch (flags & 0xF0) {
    case MessageBoxes::MB_ICONERROR:
        return QMessageBox::Critical;
    case MessageBoxes::MB_ICONWARNING:
        return QMessageBox::Warning;
    case MessageBoxes::MB_ICONINFORMATION:
        return QMessageBox::Information;
    case 0x20:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

MessageBoxes::MessageBoxes(QObject* context, std::function<QWidget*()> owner)
    : m_context(context)
    , m_owner(std::move(owner))
{
}

MessageBoxes::~MessageBoxes()
{
    // No box can be shown any more: what the forms still had to say goes to
    // the error output rather than nowhere.
    for (const DeferredBox& box : m_deferred)
        qWarning("%s: %s", qUtf8Printable(box.caption), qUtf8Printable(box.text));
}

void MessageBoxes::SetPresenter(Presenter presenter)
{
    m_presenter = std::move(presenter);
}

int MessageBoxes::Show(const QString& text, const QString& caption, int flags)
{
    if (DestructionScope::IsActive()) {
        defer(text, caption, flags);
        return IDOK;
    }
    // A modal box keeps dispatching messages, so timers tick behind it.
    return m_presenter ? m_presenter(text, caption, flags) : present(text, caption, flags);
}

// Its event loop would run inside a destruction: the box waits for the loop
// of the context, which is asked once for all the boxes that gather meanwhile.
void MessageBoxes::defer(const QString& text, const QString& caption, int flags)
{
    if (m_deferred.empty())
        QMetaObject::invokeMethod(m_context, [this] { ShowDeferred(); }, Qt::QueuedConnection);
    m_deferred.push_back({ text, caption, flags });
}

void MessageBoxes::ShowDeferred()
{
    if (DestructionScope::IsActive())
        return;
    while (!m_deferred.empty()) {
        const DeferredBox box = m_deferred.front();
        m_deferred.erase(m_deferred.begin());
        Show(box.text, box.caption, box.flags);
    }
}

int MessageBoxes::present(const QString& text, const QString& caption, int flags)
{
    QWidget* previouslyActive = QApplication::activeWindow();
    const bool ownerless = (flags & MB_TASKMODAL) != 0;
    QMessageBox box(iconFor(flags), caption, text, QMessageBox::Ok, ownerless ? nullptr : m_owner());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (previouslyActive)
        previouslyActive->activateWindow();
    return IDOK;
}
