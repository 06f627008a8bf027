#include "widgets/TSplitterDrag.h"

#include "widgets/DragLine.h"
#include "core/Exception.h"
#include "core/ExceptionBoundary.h"
#include "controls/ShortCut.h"
#include "controls/TAlignLayout.h"
#include "application/TApplication.h"
#include "controls/TForm.h"

#include <QGuiApplication>
#include <QScopeGuard>

namespace {

TForm* formOf(const QWidget* bar)
{
    for (QWidget* widget = bar->parentWidget(); widget; widget = widget->parentWidget()) {
        if (auto* form = qobject_cast<TForm*>(widget))
            return form;
    }
    return nullptr;
}

} // namespace

TSplitterDrag::TSplitterDrag(QWidget* bar)
    : m_bar(bar)
{
}

TSplitterDrag::~TSplitterDrag() = default;

// The form is looked for first, so a press that cannot start a drag leaves
// nothing grabbed and nothing borrowed.
void TSplitterDrag::Start(const Press& press)
{
    TForm* form = formOf(m_bar);
    if (!form)
        throw EInvalidOperation(QStringLiteral("Control '%1' has no parent window").arg(m_bar->objectName()));
    m_resizeMode = press.resizeMode;
    m_isTracking = true;
    m_savedShowHint = Application->ShowHint();
    m_bar->grabMouse();
    borrowKeyDown(form);
    // No hint window comes up during the drag.
    Application->SetShowHint(false);
    m_downPos = press.at;
    // A minimised or hidden form ends the drag without applying it.
    form->installEventFilter(this);
    m_drawingForm = form;
    takeLimits(press.topLeftLimit, press.bottomRightLimit);
    if (!m_dragLine || m_dragLine->parentWidget() != form)
        m_dragLine = new DragLine(form);
    m_dragCursor = press.cursor;
    QGuiApplication::setOverrideCursor(CursorShape(m_dragCursor));
    placeLine(m_bar->width() / 2, m_bar->height() / 2, LineDrawing::First);
}

// Escape reaches the drag through the focused control's OnKeyDown; every
// other key goes on to the handler that was there.
void TSplitterDrag::borrowKeyDown(TForm* form)
{
    m_keyControl = form->focusWidget() ? form->focusWidget() : form;
    TKeyEvent& keyDown = TKeyDownHook::OnKeyDown(m_keyControl);
    m_savedKeyDown = keyDown;
    keyDown = TKeyEvent(this, &TSplitterDrag::keyDown);
}

// The limits are taken once at the press, in the bar's coordinates.
void TSplitterDrag::takeLimits(int topLeft, int bottomRight)
{
    QWidget* parent = m_bar->parentWidget();
    const QRect client = parent->rect();
    m_minPos = m_bar->mapFrom(parent, QPoint(client.left() + topLeft, client.top() + topLeft));
    m_maxPos = m_bar->mapFrom(parent, QPoint(client.width() - bottomRight, client.height() - bottomRight));
}

void TSplitterDrag::MoveTo(int x, int y, TCursor barCursor)
{
    const int proposed = isHorizontalBar() ? y : x;
    clamp(x, y);
    const bool isOutOfBounds = (isHorizontalBar() ? y : x) != proposed;
    showDragCursor(isOutOfBounds ? crNoDrop : barCursor);
    placeLine(x - m_downPos.x() + m_bar->width() / 2, y - m_downPos.y() + m_bar->height() / 2, LineDrawing::Move);
}

// The bar's leading edge stays TopLeftLimit away from the parent's top (or
// left) edge and its trailing edge BottomRightLimit away from the far edge.
void TSplitterDrag::clamp(int& x, int& y) const
{
    if (x - m_downPos.x() < m_minPos.x())
        x = m_minPos.x() + m_downPos.x();
    else if (x - m_downPos.x() + m_bar->width() > m_maxPos.x())
        x = m_maxPos.x() - m_bar->width() + m_downPos.x();
    if (y - m_downPos.y() < m_minPos.y())
        y = m_minPos.y() + m_downPos.y();
    else if (y - m_downPos.y() + m_bar->height() > m_maxPos.y())
        y = m_maxPos.y() - m_bar->height() + m_downPos.y();
}

void TSplitterDrag::placeLine(int x, int y, LineDrawing drawing)
{
    if (!m_dragLine)
        return;
    QPoint point = m_bar->mapToGlobal(isHorizontalBar() ? QPoint(0, y) : QPoint(x, 0));
    if (QWidget* parent = m_bar->parentWidget()) {
        const QRect client(parent->mapToGlobal(QPoint(0, 0)), parent->size());
        point.setX(std::clamp(point.x(), client.left(), client.left() + client.width()));
        point.setY(std::clamp(point.y(), client.top(), client.top() + client.height()));
    }
    if (drawing == LineDrawing::Move
        && (isHorizontalBar() ? point.y() == m_linePos.y() : point.x() == m_linePos.x()))
        return;
    if (drawing == LineDrawing::Erase) {
        m_dragLine->hide();
        return;
    }
    // The line runs from the point to the bar's far end.
    const QPoint end = m_bar->mapToGlobal(isHorizontalBar() ? QPoint(m_bar->width(), 0) : QPoint(0, m_bar->height()));
    const int length = isHorizontalBar() ? end.x() - point.x() : end.y() - point.y();
    const int thickness = isHorizontalBar() ? m_bar->height() : m_bar->width();
    m_dragLine->showAt(point, std::max(length, 1), thickness > 3 ? thickness - 2 : 2,
        isHorizontalBar() ? Qt::Horizontal : Qt::Vertical);
    m_linePos = point;
}

void TSplitterDrag::eraseLine()
{
    if (m_drawingForm) {
        placeLine(0, 0, LineDrawing::Erase);
        m_drawingForm = nullptr;
    }
}

void TSplitterDrag::showDragCursor(TCursor cursor)
{
    if (cursor == m_dragCursor || !m_isTracking)
        return;
    m_dragCursor = cursor;
    QGuiApplication::changeOverrideCursor(CursorShape(cursor));
}

void TSplitterDrag::ReleaseMouse()
{
    if (QWidget::mouseGrabber() == m_bar)
        m_bar->releaseMouse();
}

void TSplitterDrag::Drop(bool allowChange, int x, int y, QWidget* first, QWidget* second)
{
    eraseLine();
    if (m_bar->parentWidget())
        resizeControl(allowChange, x, y, first, second);
}

void TSplitterDrag::Cancel()
{
    if (!m_isTracking)
        return;
    ReleaseMouse();
    eraseLine();
    endTracking();
}

void TSplitterDrag::resizeControl(bool allowChange, int x, int y, QWidget* first, QWidget* second)
{
    QWidget* parent = m_bar->parentWidget();
    if (!allowChange) {
        const QPoint line = m_bar->mapFromGlobal(m_linePos);
        x = line.x() + m_downPos.x() - m_bar->width() / 2;
        y = line.y() + m_downPos.y() - m_bar->height() / 2;
    }
    clamp(x, y);
    int downX = m_downPos.x();
    int downY = m_downPos.y();
    // A control on the far edge grows when the bar moves toward the near one.
    const auto isFar = [first, second](TAlign align) {
        return TAlignLayout::alignOf(first) == align || (second && TAlignLayout::alignOf(second) == align);
    };
    if (isFar(alRight)) {
        x = -x;
        downX = -downX;
    }
    if (isFar(alBottom)) {
        y = -y;
        downY = -downY;
    }
    QWidget* resized = (m_resizeMode == 1 || m_resizeMode == 3) ? first : second;
    if (!resized)
        return;
    TAlignLayout* layout = qobject_cast<TAlignLayout*>(parent->layout());
    if (layout)
        layout->DisableAlign();
    const auto resume = qScopeGuard([layout] {
        if (layout)
            layout->EnableAlign();
    });
    const bool vertical = isHorizontalBar();
    int size = vertical ? resized->height() + y - downY : resized->width() + x - downX;
    if (size <= 0)
        size = 1;
    const int available = vertical ? parent->height() - m_bar->height() : parent->width() - m_bar->width();
    if (size >= available)
        size = available - 3;
    size = std::max(size, 0);
    if (vertical)
        resized->resize(resized->width(), size);
    else
        resized->resize(size, resized->height());
}

void TSplitterDrag::endTracking()
{
    if (!m_isTracking)
        return;
    m_isTracking = false;
    ReleaseMouse();
    QGuiApplication::restoreOverrideCursor();
    m_dragCursor = crDefault;
    if (Application)
        Application->SetShowHint(m_savedShowHint);
    if (m_keyControl)
        TKeyDownHook::OnKeyDown(m_keyControl) = m_savedKeyDown;
    m_keyControl = nullptr;
    m_savedKeyDown = {};
    if (TForm* form = formOf(m_bar))
        form->removeEventFilter(this);
}

void TSplitterDrag::keyDown(TObject* sender, quint16& key, Qt::KeyboardModifiers shift)
{
    if (key == ShortCuts::VK_ESCAPE) {
        Cancel();
        return;
    }
    m_savedKeyDown(sender, key, shift);
}

bool TSplitterDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (m_isTracking && watched == formOf(m_bar)) {
        const bool minimized = event->type() == QEvent::WindowStateChange
            && static_cast<QWidget*>(watched)->isMinimized();
        if (minimized || event->type() == QEvent::Hide)
            guarded(m_bar, [this] { Cancel(); });
    }
    return QObject::eventFilter(watched, event);
}
