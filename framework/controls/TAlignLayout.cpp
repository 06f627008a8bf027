#include "controls/TAlignLayout.h"

#include <QWidget>

#include <algorithm>

TAlignLayout::TAlignLayout(QWidget* parent)
    : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
    setSizeConstraint(QLayout::SetNoConstraint);
}

TAlignLayout::~TAlignLayout()
{
    for (const Item& entry : m_items)
        delete entry.item;
}

TAlignLayout* TAlignLayout::ofParent(const QWidget* control)
{
    QWidget* parent = control ? control->parentWidget() : nullptr;
    if (!parent)
        return nullptr;
    if (!parent->layout())
        return new TAlignLayout(parent);
    return qobject_cast<TAlignLayout*>(parent->layout());
}

TAlign TAlignLayout::alignOf(const QWidget* control)
{
    QWidget* parent = control ? control->parentWidget() : nullptr;
    auto* layout = parent ? qobject_cast<TAlignLayout*>(parent->layout()) : nullptr;
    if (!layout)
        return alNone;
    const int index = layout->indexOf(control);
    return index < 0 ? alNone : layout->m_items[index].align;
}

void TAlignLayout::setAlign(QWidget* control, TAlign align)
{
    TAlignLayout* layout = ofParent(control);
    if (!layout)
        return;
    const int index = layout->indexOf(control);
    if (index < 0)
        layout->m_items.append({ new QWidgetItem(control), align });
    else
        layout->m_items[index].align = align;
    layout->invalidate();
    layout->Realign();
}

int TAlignLayout::indexOf(const QWidget* control) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items[i].item->widget() == control)
            return i;
    }
    return -1;
}

void TAlignLayout::DisableAlign()
{
    ++m_disableLevel;
}

void TAlignLayout::EnableAlign()
{
    if (m_disableLevel == 0)
        return;
    if (--m_disableLevel == 0)
        Realign();
}

void TAlignLayout::Realign()
{
    if (QWidget* parent = parentWidget())
        setGeometry(parent->contentsRect());
}

void TAlignLayout::addItem(QLayoutItem* item)
{
    m_items.append({ item, alNone });
}

QLayoutItem* TAlignLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items[index].item : nullptr;
}

QLayoutItem* TAlignLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    return m_items.takeAt(index).item;
}

QSize TAlignLayout::sizeHint() const
{
    QRect bounds;
    for (const Item& entry : m_items) {
        if (const QWidget* widget = entry.item->widget(); widget && !widget->isHidden())
            bounds |= widget->geometry();
    }
    return bounds.size();
}

void TAlignLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    if (m_disableLevel == 0)
        alignControls(rect);
}

// Each edge control takes its strip off the remaining rectangle; the sizes
// come from the controls themselves, so a control resized while alignment was
// suspended keeps its new size.
void TAlignLayout::alignControls(const QRect& clientRect)
{
    int left = clientRect.left();
    int top = clientRect.top();
    int right = clientRect.left() + clientRect.width();
    int bottom = clientRect.top() + clientRect.height();
    for (TAlign pass : { alTop, alBottom, alLeft, alRight, alClient }) {
        for (const Item& entry : m_items) {
            QWidget* widget = entry.item->widget();
            if (entry.align != pass || !widget || widget->isHidden())
                continue;
            const int width = std::max(right - left, 0);
            const int height = std::max(bottom - top, 0);
            switch (pass) {
            case alTop:
                widget->setGeometry(left, top, width, widget->height());
                top += widget->height();
                break;
            case alBottom:
                widget->setGeometry(left, bottom - widget->height(), width, widget->height());
                bottom -= widget->height();
                break;
            case alLeft:
                widget->setGeometry(left, top, widget->width(), height);
                left += widget->width();
                break;
            case alRight:
                widget->setGeometry(right - widget->width(), top, widget->width(), height);
                right -= widget->width();
                break;
            default:
                widget->setGeometry(left, top, width, height);
                break;
            }
        }
    }
    emit aligned();
}
