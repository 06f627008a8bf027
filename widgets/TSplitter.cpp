#include "widgets/TSplitter.h"

#include "widgets/TSplitterDrag.h"
#include "core/ExceptionBoundary.h"
#include "controls/TAlignLayout.h"
#include "controls/TForm.h"

#include <QAccessibleWidget>
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
    , m_drag(std::make_unique<TSplitterDrag>(this))
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
    m_drag->Cancel();
}

bool TSplitter::IsTracking() const
{
    return m_drag->IsTracking();
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
    if (button != Qt::LeftButton || m_drag->IsTracking())
        return;
    if (const int mode = resizeMode())
        m_drag->Start({ mode, { x, y }, m_topLeftLimit, m_bottomRightLimit, TCursor(Cursor()) });
}

void TSplitter::MouseMove(Qt::KeyboardModifiers shift, int x, int y)
{
    OnMouseMove(this, shift, x, y);
    if (QWidget::mouseGrabber() != this || !m_drag->IsTracking())
        return;
    bool allowChange = true;
    PosChanging(x, y, allowChange);
    if (allowChange)
        m_drag->MoveTo(x, y, TCursor(Cursor()));
    else
        m_drag->ShowRefused();
}

void TSplitter::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)
{
    drop(x, y);
    OnMouseUp(this, button, shift, x, y);
}

// Whatever the handlers or the resize raise, the grab, the line, the cursor
// and the borrowed key handler are given back.
void TSplitter::drop(int x, int y)
{
    if (!m_drag->IsTracking())
        return;
    {
        m_drag->ReleaseMouse();
        const auto restore = qScopeGuard([this] { m_drag->Cancel(); });
        bool allowChange = true;
        PosChanging(x, y, allowChange);
        m_drag->Drop(allowChange, x, y, m_controlFirst, m_controlSecond);
    }
    PosChanged();
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
