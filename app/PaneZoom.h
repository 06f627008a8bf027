#pragma once

#include "core/TComponent.h"

#include <functional>

// The zoom of one pane in percent, in steps from 50% to 400%; the form's
// storage keeps it as "<name>_Percent". A stored value that is no zoom
// (out of range, or text that reads as 0) gives 100%, one between steps the
// nearest step.
class PaneZoom : public TComponent {
    Q_OBJECT
    Q_PROPERTY(int Percent READ Percent WRITE SetPercent)

public:
    static constexpr int Designed = 100;
    static constexpr int Steps[] = { 50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400 };

    explicit PaneZoom(QObject* owner);

    int Percent() const { return m_percent; }
    void SetPercent(int percent);
    void ZoomIn();
    void ZoomOut();
    void Reset() { SetPercent(Designed); }

    // Makes the pane show the zoom: at once unless it is 100%, and on every
    // change.
    void SetOnChange(std::function<void(int percent)> apply);

    static int Snapped(int percent);

private:
    int m_percent = Designed;
    std::function<void(int)> m_apply;
};
