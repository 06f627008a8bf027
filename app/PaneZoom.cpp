#include "app/PaneZoom.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

PaneZoom::PaneZoom(QObject* owner)
    : TComponent(owner)
{
}

int PaneZoom::Snapped(int percent)
{
    if (percent < std::begin(Steps)[0] || percent > std::end(Steps)[-1])
        return Designed;
    return *std::min_element(std::begin(Steps), std::end(Steps),
        [percent](int a, int b) { return std::abs(a - percent) < std::abs(b - percent); });
}

void PaneZoom::SetPercent(int percent)
{
    const int snapped = Snapped(percent);
    if (snapped == m_percent)
        return;
    m_percent = snapped;
    if (m_apply)
        m_apply(m_percent);
}

void PaneZoom::ZoomIn()
{
    const int* next = std::upper_bound(std::begin(Steps), std::end(Steps), m_percent);
    if (next != std::end(Steps))
        SetPercent(*next);
}

void PaneZoom::ZoomOut()
{
    const int* at = std::lower_bound(std::begin(Steps), std::end(Steps), m_percent);
    if (at != std::begin(Steps))
        SetPercent(at[-1]);
}

void PaneZoom::SetOnChange(std::function<void(int percent)> apply)
{
    m_apply = std::move(apply);
    // A pane at the designed zoom is left as it was made.
    if (m_apply && m_percent != Designed)
        m_apply(m_percent);
}
