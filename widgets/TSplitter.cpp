#include "widgets/TSplitter.h"

#include "widgets/DragLine.h"
#include "core/Exception.h"
#include "controls/TAlignLayout.h"
#include "application/TApplication.h"
#include "controls/TForm.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>

namespace {

bool isEdge(TAlign align)
{
    return align == alTop || align == alBottom || align == alLeft || align == alRight;
}

// The handler of a mouse event, at the boundary between Qt's dispatch and ours.
template <typename Fn>
void handleMouse(TSplitter* splitter, QMouseEvent* event, Fn&& fn)
{
    event->accept();
    guarded(splitter, std::forward<Fn>(fn));
}

// A screen reader knows the bar as what it is, a separator between the two
// controls, instead of an anonymous filler.
QAccessibleInterface* separatorAccessible(const QString& className, QObject* object)
{
    if (className != QLatin1String(TSplitter::staticMetaObject.className()) || !object || !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Separator);
}

} // namespace

TSplitter::TSplitter(QWidget* parent)
    : QWidget(parent)
{
    static const bool isFactoryInstalled = [] {
        QAccessible::installFactory(separatorAccessible);
        return true;
    }();
    Q_UNUSED(isFactoryInstalled);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(185, 3);
}

TSplitter::~TSplitter()
{
    eraseLine();
    endTracking();
}

void TSplitter::Loaded()
{
    m_isLoading = false;
    updateCursor();
}

void TSplitter::setReference(QWidget*& reference, QMetaObject::Connection& watch, QWidget* control)
{
    if (control == reference)
        return;
    if (control == this || qobject_cast<TForm*>(control))
        control = nullptr;
    disconnect(watch);
    reference = control;
    if (control)
        watch = connect(control, &QObject::destroyed, this, &TSplitter::removed);
    updateCursor();
}

void TSplitter::SetControlFirst(QWidget* control)
{
    setReference(m_controlFirst, m_watchFirst, control);
}

void TSplitter::SetControlSecond(QWidget* control)
{
    setReference(m_controlSecond, m_watchSecond, control);
}

// A control that goes away is forgotten on both sides, so no reference is
// left pointing at it.
void TSplitter::removed(QObject* control)
{
    if (control == m_controlFirst)
        SetControlFirst(nullptr);
    if (control == m_controlSecond)
        SetControlSecond(nullptr);
}

TAlign TSplitter::Align() const
{
    return TAlignLayout::alignOf(this);
}

void TSplitter::SetAlign(TAlign align)
{
    if (!isEdge(Align()) && !m_isLoading) {
        if (align == alTop || align == alBottom)
            resize(width(), 3);
        else if (align == alLeft || align == alRight)
            resize(3, height());
    }
    TAlignLayout::setAlign(this, align);
    if (!m_controlFirst && !m_controlSecond)
        SetControlFirst(neighbour(align));
}

// The first of the parent's controls that covers the pixel just beyond the
// bar's edge.
QWidget* TSplitter::neighbour(TAlign align) const
{
    QWidget* parent = parentWidget();
    if (!parent)
        return nullptr;
    QPoint point = pos();
    switch (align) {
    case alTop:
        point.ry() -= 1;
        break;
    case alBottom:
        point.ry() += height();
        break;
    case alLeft:
        point.rx() -= 1;
        break;
    case alRight:
        point.rx() += width();
        break;
    default:
        return nullptr;
    }
    for (QObject* child : parent->children()) {
        auto* control = qobject_cast<QWidget*>(child);
        if (control && !control->isWindow() && control->geometry().contains(point))
            return control;
    }
    return nullptr;
}

// 1: the first control's height, 2: the second's height, 3: the first's
// width, 4: the second's width; 0: no drag. The resized control must sit on
// the bar's own edge.
int TSplitter::resizeMode() const
{
    if (!m_controlFirst)
        return 0;
    const TAlign first = TAlignLayout::alignOf(m_controlFirst);
    const TAlign second = m_controlSecond ? TAlignLayout::alignOf(m_controlSecond) : alNone;
    int mode = 0;
    if ((first == alTop || first == alBottom) && (!m_controlSecond || second == alClient))
        mode = 1;
    else if (first == alClient && m_controlSecond && (second == alBottom || second == alTop))
        mode = 2;
    else if ((first == alLeft || first == alRight) && (!m_controlSecond || second == alClient))
        mode = 3;
    else if (first == alClient && m_controlSecond && (second == alRight || second == alLeft))
        mode = 4;
    const TAlign resized = (mode == 1 || mode == 3) ? first : second;
    return mode != 0 && resized == Align() ? mode : 0;
}

int TSplitter::Cursor() const
{
    switch (resizeMode()) {
    case 1:
    case 2:
        return crVSplit;
    case 3:
    case 4:
        return crHSplit;
    default:
        return crDefault;
    }
}

void TSplitter::SetCursor(int cursor)
{
    setCursor(CursorShape(TCursor(cursor)));
}

void TSplitter::updateCursor()
{
    SetCursor(Cursor());
}

TForm* TSplitter::parentForm() const
{
    for (QWidget* widget = parentWidget(); widget; widget = widget->parentWidget()) {
        if (auto* form = qobject_cast<TForm*>(widget))
            return form;
    }
    return nullptr;
}

void TSplitter::PosChanged()
{
    OnPosChanged(this);
}

void TSplitter::PosChanging(int x, int y, bool& allowChange)
{
    OnPosChanging(this, x, y, allowChange);
}

void TSplitter::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    OnMouseDown(this, button, shift, x, y);
    if (button != Qt::LeftButton || m_isTracking)
        return;
    m_resizeMode = resizeMode();
    if (m_resizeMode == 0)
        return;
    startSizing(x, y);
}

// The form is looked for first, so a press that cannot start a drag leaves
// nothing grabbed and nothing borrowed.
void TSplitter::startSizing(int x, int y)
{
    TForm* form = parentForm();
    if (!form)
        throw EInvalidOperation(QStringLiteral("Control '%1' has no parent window").arg(objectName()));
    m_isTracking = true;
    m_savedShowHint = Application->ShowHint();
    grabMouse();
    m_keyControl = form->focusWidget() ? form->focusWidget() : form;
    TKeyEvent& keyDown = TKeyDownHook::OnKeyDown(m_keyControl);
    m_savedKeyDown = keyDown;
    keyDown = TKeyEvent(this, &TSplitter::keyDown);
    // No hint window comes up during the drag.
    Application->SetShowHint(false);
    m_downPos = { x, y };
    // A minimised or hidden form ends the drag without applying it.
    form->installEventFilter(this);
    m_drawingForm = form;
    QWidget* parent = parentWidget();
    const QRect client = parent->rect();
    m_minPos = mapFrom(parent, QPoint(client.left() + m_topLeftLimit, client.top() + m_topLeftLimit));
    m_maxPos = mapFrom(parent, QPoint(client.width() - m_bottomRightLimit, client.height() - m_bottomRightLimit));
    m_isNoDrop = false;
    if (!m_dragLine || m_dragLine->parentWidget() != form)
        m_dragLine = new DragLine(form);
    m_dragCursor = TCursor(Cursor());
    QGuiApplication::setOverrideCursor(CursorShape(m_dragCursor));
    placeLine(width() / 2, height() / 2, LineDrawing::First);
}

void TSplitter::MouseMove(Qt::KeyboardModifiers shift, int x, int y)
{
    OnMouseMove(this, shift, x, y);
    if (QWidget::mouseGrabber() != this || !m_isTracking)
        return;
    bool allowChange = true;
    PosChanging(x, y, allowChange);
    if (!allowChange) {
        showDragCursor(crNoDrop);
        return;
    }
    const int proposed = isHorizontalBar() ? y : x;
    clamp(x, y);
    const bool isOutOfBounds = (isHorizontalBar() ? y : x) != proposed;
    m_isNoDrop = isOutOfBounds;
    showDragCursor(m_isNoDrop ? crNoDrop : TCursor(Cursor()));
    placeLine(x - m_downPos.x() + width() / 2, y - m_downPos.y() + height() / 2, LineDrawing::Move);
}

void TSplitter::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    stopSizing(true, x, y);
    OnMouseUp(this, button, shift, x, y);
}

// The bar's leading edge stays TopLeftLimit away from the parent's top (or
// left) edge and its trailing edge BottomRightLimit away from the far edge.
void TSplitter::clamp(int& x, int& y) const
{
    if (x - m_downPos.x() < m_minPos.x())
        x = m_minPos.x() + m_downPos.x();
    else if (x - m_downPos.x() + width() > m_maxPos.x())
        x = m_maxPos.x() - width() + m_downPos.x();
    if (y - m_downPos.y() < m_minPos.y())
        y = m_minPos.y() + m_downPos.y();
    else if (y - m_downPos.y() + height() > m_maxPos.y())
        y = m_maxPos.y() - height() + m_downPos.y();
}

void TSplitter::placeLine(int x, int y, LineDrawing drawing)
{
    if (!m_dragLine)
        return;
    QPoint point = mapToGlobal(isHorizontalBar() ? QPoint(0, y) : QPoint(x, 0));
    if (QWidget* parent = parentWidget()) {
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
    const QPoint end = mapToGlobal(isHorizontalBar() ? QPoint(width(), 0) : QPoint(0, height()));
    const int length = isHorizontalBar() ? end.x() - point.x() : end.y() - point.y();
    const int thickness = isHorizontalBar() ? height() : width();
    m_dragLine->showAt(point, std::max(length, 1), thickness > 3 ? thickness - 2 : 2,
        isHorizontalBar() ? Qt::Horizontal : Qt::Vertical);
    m_linePos = point;
}

void TSplitter::eraseLine()
{
    if (m_drawingForm) {
        placeLine(0, 0, LineDrawing::Erase);
        m_drawingForm = nullptr;
    }
    m_isNoDrop = false;
}

void TSplitter::showDragCursor(TCursor cursor)
{
    if (cursor == m_dragCursor || !m_isTracking)
        return;
    m_dragCursor = cursor;
    QGuiApplication::changeOverrideCursor(CursorShape(cursor));
}

// Whatever the handlers or the resize raise, the grab, the line, the cursor
// and the borrowed key handler are given back.
void TSplitter::stopSizing(bool apply, int x, int y)
{
    if (!m_isTracking)
        return;
    {
        if (QWidget::mouseGrabber() == this)
            releaseMouse();
        const auto restore = qScopeGuard([this] {
            eraseLine();
            endTracking();
        });
        bool allowChange = apply;
        if (apply)
            PosChanging(x, y, allowChange);
        eraseLine();
        if (apply && parentWidget())
            resizeControl(allowChange, x, y);
    }
    if (apply)
        PosChanged();
}

void TSplitter::resizeControl(bool allowChange, int x, int y)
{
    QWidget* parent = parentWidget();
    if (!allowChange) {
        const QPoint line = mapFromGlobal(m_linePos);
        x = line.x() + m_downPos.x() - width() / 2;
        y = line.y() + m_downPos.y() - height() / 2;
    }
    clamp(x, y);
    int downX = m_downPos.x();
    int downY = m_downPos.y();
    // A control on the far edge grows when the bar moves toward the near one.
    const auto isFar = [this](TAlign align) {
        return TAlignLayout::alignOf(m_controlFirst) == align
            || (m_controlSecond && TAlignLayout::alignOf(m_controlSecond) == align);
    };
    if (isFar(alRight)) {
        x = -x;
        downX = -downX;
    }
    if (isFar(alBottom)) {
        y = -y;
        downY = -downY;
    }
    QWidget* resized = (m_resizeMode == 1 || m_resizeMode == 3) ? m_controlFirst : m_controlSecond;
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
    const int available = vertical ? parent->height() - height() : parent->width() - width();
    if (size >= available)
        size = available - 3;
    size = std::max(size, 0);
    if (vertical)
        resized->resize(resized->width(), size);
    else
        resized->resize(size, resized->height());
}

void TSplitter::endTracking()
{
    if (!m_isTracking)
        return;
    m_isTracking = false;
    if (QWidget::mouseGrabber() == this)
        releaseMouse();
    QGuiApplication::restoreOverrideCursor();
    m_dragCursor = crDefault;
    if (Application)
        Application->SetShowHint(m_savedShowHint);
    if (m_keyControl)
        TKeyDownHook::OnKeyDown(m_keyControl) = m_savedKeyDown;
    m_keyControl = nullptr;
    m_savedKeyDown = {};
    if (TForm* form = parentForm())
        form->removeEventFilter(this);
}

void TSplitter::keyDown(TObject* sender, quint16& key, Qt::KeyboardModifiers shift)
{
    if (key == 27) {
        stopSizing(false, 0, 0);
        return;
    }
    m_savedKeyDown(sender, key, shift);
}

bool TSplitter::eventFilter(QObject* watched, QEvent* event)
{
    if (m_isTracking && watched == parentForm()) {
        const bool minimized = event->type() == QEvent::WindowStateChange
            && static_cast<QWidget*>(watched)->isMinimized();
        if (minimized || event->type() == QEvent::Hide)
            guarded(this, [this] { stopSizing(false, 0, 0); });
    }
    return QWidget::eventFilter(watched, event);
}

void TSplitter::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    m_isPressed = event->button() == Qt::LeftButton;
    handleMouse(this, event, [&] { MouseDown(event->button(), event->modifiers(), at.x(), at.y()); });
}

void TSplitter::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    handleMouse(this, event, [&] { MouseMove(event->modifiers(), at.x(), at.y()); });
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const bool isClick = m_isPressed && event->button() == Qt::LeftButton && rect().contains(at);
    m_isPressed = false;
    handleMouse(this, event, [&] {
        MouseUp(event->button(), event->modifiers(), at.x(), at.y());
        if (isClick)
            OnClick(this);
    });
}

void TSplitter::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    m_isPressed = event->button() == Qt::LeftButton;
    handleMouse(this, event, [&] {
        if (event->button() == Qt::LeftButton)
            OnDblClick(this);
        MouseDown(event->button(), event->modifiers(), at.x(), at.y());
    });
}

void TSplitter::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    guarded(this, [this] { OnEnter(this); });
}

void TSplitter::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    guarded(this, [this] { OnExit(this); });
}

void TSplitter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    guarded(this, [this] { OnResize(this); });
}

void TSplitter::SetBevelInner(TPanelBevel bevel)
{
    if (bevel == m_bevelInner)
        return;
    m_bevelInner = bevel;
    update();
}

void TSplitter::SetBevelOuter(TPanelBevel bevel)
{
    if (bevel == m_bevelOuter)
        return;
    m_bevelOuter = bevel;
    update();
}

void TSplitter::SetBevelWidth(int width)
{
    width = std::max(width, 1);
    if (width == m_bevelWidth)
        return;
    m_bevelWidth = width;
    update();
}

void TSplitter::SetBorderStyle(TBorderStyle style)
{
    if (style == m_borderStyle)
        return;
    m_borderStyle = style;
    update();
}

void TSplitter::SetColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    m_parentColor = false;
    update();
}

void TSplitter::SetParentColor(bool value)
{
    if (value == m_parentColor)
        return;
    m_parentColor = value;
    update();
}

// Painted as a panel: border, outer bevel, inner bevel, then the face.
void TSplitter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect area = rect();
    const QPalette& pal = palette();
    if (m_borderStyle == bsSingle) {
        painter.setPen(pal.color(QPalette::WindowText));
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    const auto bevel = [&](TPanelBevel kind) {
        if (kind == bvNone)
            return;
        const QColor topLeft = pal.color(kind == bvRaised ? QPalette::Light : QPalette::Dark);
        const QColor bottomRight = pal.color(kind == bvRaised ? QPalette::Dark : QPalette::Light);
        for (int i = 0; i < m_bevelWidth && area.height() > 0 && area.width() > 0; ++i) {
            painter.fillRect(area.left(), area.top(), area.width(), 1, topLeft);
            painter.fillRect(area.left(), area.top(), 1, area.height(), topLeft);
            painter.fillRect(area.left(), area.bottom(), area.width(), 1, bottomRight);
            painter.fillRect(area.right(), area.top(), 1, area.height(), bottomRight);
            area.adjust(1, 1, -1, -1);
        }
    };
    bevel(m_bevelOuter);
    bevel(m_bevelInner);
    const QColor face = m_color.isValid() ? m_color
        : m_parentColor && parentWidget() ? parentWidget()->palette().color(QPalette::Window)
                                          : pal.color(QPalette::Button);
    if (area.isValid())
        painter.fillRect(area, face);
}
