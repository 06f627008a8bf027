#include "app/preview/PreviewKeys.h"

#include "app/preview/FormulaExporter.h"
#include "app/preview/PreviewContextMenu.h"
#include "core/ExceptionBoundary.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QWebEngineView>

namespace {

bool isMenuKey(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Menu || (key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier);
}

} // namespace

PreviewKeys::PreviewKeys(QWebEngineView* view, PreviewContextMenu* menu)
    : QObject(view)
    , m_view(view)
    , m_menu(menu)
{
    // The engine makes the widget that takes the keys only once a page is
    // loaded, and may replace it.
    m_view->installEventFilter(this);
    for (QObject* child : m_view->children())
        watch(child);
}

// Keys with text and the editing keys type into the editor; the copy and
// select-all keys, the menu keys, Escape (the window's own) and the keys that
// move stay here.
bool PreviewKeys::isForEditor(const QKeyEvent& key)
{
    if (key.matches(QKeySequence::Copy) || key.matches(QKeySequence::SelectAll) || isMenuKey(key)
        || key.key() == Qt::Key_Escape)
        return false;
    return !key.text().isEmpty() || key.key() == Qt::Key_Delete || key.key() == Qt::Key_Backspace;
}

void PreviewKeys::watch(QObject* child)
{
    if (child->isWidgetType())
        child->installEventFilter(this);
}

bool PreviewKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::ChildAdded)
            watch(static_cast<QChildEvent*>(event)->child());
        return false;
    }
    // The view's menus are its children too, but windows of their own.
    if (event->type() != QEvent::KeyPress || static_cast<QWidget*>(watched)->isWindow())
        return false;
    bool isTaken = false;
    guarded(this, [&] { isTaken = onKey(static_cast<const QKeyEvent&>(*event)); });
    return isTaken;
}

bool PreviewKeys::onKey(const QKeyEvent& key)
{
    if (key.matches(QKeySequence::Copy)) {
        m_menu->exporter()->copySelection();
        return true;
    }
    if (isMenuKey(key)) {
        m_menu->popupFromKeyboard();
        return true;
    }
    if (!isForEditor(key))
        return false;
    emit typed(key);
    return true;
}
