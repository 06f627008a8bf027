#include "app/preview/PreviewKeyboard.h"

#include "app/preview/FormulaExporter.h"
#include "app/preview/PreviewContextMenu.h"
#include "core/ExceptionBoundary.h"

#include <QApplication>
#include <QChildEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWebEngineView>

namespace {

bool isMenuKey(const QKeyEvent& key)
{
    return key.key() == Qt::Key_Menu || (key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier);
}

} // namespace

PreviewKeyboard::PreviewKeyboard(QWebEngineView* view, PreviewContextMenu* menu, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_menu(menu)
{
    m_view->setFocusPolicy(Qt::NoFocus);
    m_view->installEventFilter(this);
    watchAll();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        guarded(this, [&] { giveFocusBack(old, now); });
    });
}

// Keys with text and the editing keys type into the editor; the copy and
// select-all keys, the menu keys, Escape (the window's own) and the keys that
// move stay here.
bool PreviewKeyboard::isForEditor(const QKeyEvent& key)
{
    if (key.matches(QKeySequence::Copy) || key.matches(QKeySequence::SelectAll) || isMenuKey(key)
        || key.key() == Qt::Key_Escape)
        return false;
    return !key.text().isEmpty() || key.key() == Qt::Key_Delete || key.key() == Qt::Key_Backspace;
}

void PreviewKeyboard::watchAll()
{
    for (QWidget* child : m_view->findChildren<QWidget*>())
        watch(child);
}

// Only the widget that shows the page (the view's focus proxy) takes the
// focus, and only from a click.
void PreviewKeyboard::watch(QWidget* widget)
{
    widget->installEventFilter(this);
    widget->setFocusPolicy(Qt::NoFocus);
    if (QWidget* proxy = m_view->focusProxy())
        proxy->setFocusPolicy(Qt::ClickFocus);
}

bool PreviewKeyboard::eventFilter(QObject* watched, QEvent* event)
{
    // The view creates the widget that shows the page only once a page is
    // loaded, and may replace it later.
    if (watched == m_view) {
        if (event->type() == QEvent::ChildAdded && static_cast<QChildEvent*>(event)->child()->isWidgetType())
            watch(static_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()));
        return false;
    }
    // The focus comes into the page before the application says it moved.
    if (event->type() == QEvent::FocusIn)
        m_isFocusClicked = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
    // The view's menus are its children too, but windows of their own.
    if (event->type() != QEvent::KeyPress || static_cast<QWidget*>(watched)->isWindow())
        return false;
    bool isTaken = false;
    guarded(this, [&] { isTaken = take(static_cast<const QKeyEvent&>(*event)); });
    return isTaken;
}

bool PreviewKeyboard::take(const QKeyEvent& key)
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

// When the engine replaces the widget that shows the page (its render
// process ended), the focus can land in the view without a click; the
// control that had it gets it back.
void PreviewKeyboard::giveFocusBack(QWidget* old, QWidget* now)
{
    const auto isInView = [this](QWidget* widget) { return widget == m_view || m_view->isAncestorOf(widget); };
    if (now && isInView(now) && old && !isInView(old) && !m_isFocusClicked)
        old->setFocus(Qt::OtherFocusReason);
}
