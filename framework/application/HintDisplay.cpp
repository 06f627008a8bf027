#include "application/HintDisplay.h"

#include <QPalette>
#include <QToolTip>
#include <QWidget>

namespace {

// The control itself or its nearest ancestor inside the window that has a
// tool tip; null when none has.
QWidget* hintOwner(QWidget* control)
{
    QWidget* owner = control;
    while (owner && owner->toolTip().isEmpty() && !owner->isWindow())
        owner = owner->parentWidget();
    return owner && !owner->toolTip().isEmpty() ? owner : nullptr;
}

} // namespace

HintDisplay::HintDisplay(TObject* sender, const TNotifyEvent& onHint, const TShowHintEvent& onShowHint)
    : m_sender(sender)
    , m_onHint(onHint)
    , m_onShowHint(onShowHint)
{
}

void HintDisplay::SetHint(const QString& hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    m_onHint(m_sender);
}

void HintDisplay::SetShown(bool shown)
{
    if (shown == m_isShown)
        return;
    m_isShown = shown;
    if (!shown)
        QToolTip::hideText();
}

void HintDisplay::SetColor(const QColor& color)
{
    static const QPalette desktopPalette = QToolTip::palette();
    m_color = color;
    QPalette palette = desktopPalette;
    if (color.isValid())
        palette.setColor(QPalette::ToolTipBase, color);
    QToolTip::setPalette(palette);
}

// The tool tip is offered to OnShowHint first; with hints off none is shown.
bool HintDisplay::ShowToolTip(QWidget* control, const QPoint& globalPos)
{
    if (!m_isShown) {
        QToolTip::hideText();
        return true;
    }
    QWidget* owner = hintOwner(control);
    if (!owner)
        return false;
    QString text = owner->toolTip();
    SetHint(text);
    THintInfo info = infoFor(owner, globalPos);
    bool canShow = true;
    m_onShowHint(text, canShow, info);
    if (!canShow || text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(info.HintPos, text, owner, info.CursorRect);
    return true;
}

THintInfo HintDisplay::infoFor(QWidget* owner, const QPoint& globalPos) const
{
    THintInfo info;
    info.HintControl = owner;
    info.HintPos = globalPos;
    info.HintColor = m_color;
    info.CursorRect = owner->rect();
    info.CursorPos = owner->mapFromGlobal(globalPos);
    return info;
}
