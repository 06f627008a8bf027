#pragma once

#include "controls/Cursors.h"
#include "controls/TKeyDownHook.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

class DragLine;
class TForm;

// One drag of a splitter's bar, from the left button's press to the release
// or the cancel. While it runs, the bar holds the mouse, a line on the form
// shows where the boundary will go, clamped to the bar's limits, the key
// control's OnKeyDown is borrowed so that Escape cancels, and no hints come
// up. Whichever way the drag ends, all of that is given back. The bar asks
// its own handlers and tells the drag what it needs of its properties; the
// drag tracks, clamps and resizes.
class TSplitterDrag : public QObject {
    Q_OBJECT

public:
    // What the bar says at the press.
    struct Press {
        // What the move changes: 1 the first control's height, 2 the
        // second's height, 3 the first's width, 4 the second's width.
        int resizeMode;
        // In the bar's coordinates.
        QPoint at;
        int topLeftLimit;
        int bottomRightLimit;
        TCursor cursor;
    };

    explicit TSplitterDrag(QWidget* bar);
    ~TSplitterDrag() override;

    bool IsTracking() const { return m_isTracking; }

    // Throws, leaving nothing grabbed and nothing borrowed, when the bar is
    // on no form.
    void Start(const Press& press);
    // Moves the line with the mouse, clamped to the limits; beyond them the
    // cursor says no, within them it is the bar's.
    void MoveTo(int x, int y, TCursor barCursor);
    // The bar's handler refused the mouse's place: the line stays.
    void ShowRefused() { showDragCursor(crNoDrop); }
    // Lets go of the mouse before the bar's handlers are asked about the drop.
    void ReleaseMouse();
    // Hides the line and resizes the bar's first or second control: to the
    // mouse's clamped place when the change is allowed, else to the line's
    // last place.
    void Drop(bool allowChange, int x, int y, QWidget* first, QWidget* second);
    // Ends the drag without applying it; nothing when none runs.
    void Cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class LineDrawing { First, Erase, Move };

    bool isHorizontalBar() const { return m_resizeMode == 1 || m_resizeMode == 2; }
    void borrowKeyDown(TForm* form);
    void takeLimits(int topLeft, int bottomRight);
    void clamp(int& x, int& y) const;
    void placeLine(int x, int y, LineDrawing drawing);
    void eraseLine();
    void showDragCursor(TCursor cursor);
    void resizeControl(bool allowChange, int x, int y, QWidget* first, QWidget* second);
    void endTracking();
    void keyDown(TObject* sender, quint16& key, Qt::KeyboardModifiers shift);

    QWidget* m_bar;
    bool m_isTracking = false;
    int m_resizeMode = 0;
    QPoint m_linePos;
    QPoint m_downPos;
    QPoint m_minPos;
    QPoint m_maxPos;
    QPointer<TForm> m_drawingForm;
    QPointer<QWidget> m_keyControl;
    bool m_savedShowHint = true;
    TKeyEvent m_savedKeyDown;
    QPointer<DragLine> m_dragLine;
    TCursor m_dragCursor = crDefault;
};
