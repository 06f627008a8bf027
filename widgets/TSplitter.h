#pragma once

#include "core/TEvent.h"
#include "controls/Cursors.h"
#include "controls/TAlign.h"

#include <QColor>
#include <QWidget>

#include <memory>

class TSplitterDrag;

// A thin bar between two controls aligned to the same edge of their parent.
// Pressing the left button on it and dragging shows a line where the boundary
// will go; nothing is resized until the release, which gives the resized
// control its new height (or width) and lays the parent out once. Escape,
// through the key control's OnKeyDown, cancels the drag. The drag itself is
// a TSplitterDrag; the bar decides when one starts and asks its handlers.
class TSplitter : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QWidget* ControlFirst READ ControlFirst WRITE SetControlFirst)
    Q_PROPERTY(QWidget* ControlSecond READ ControlSecond WRITE SetControlSecond)
    Q_PROPERTY(TAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(TPanelBevel BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(TPanelBevel BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(bool Enabled READ isEnabled WRITE setEnabled)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool Ctl3D READ Ctl3D WRITE SetCtl3D)
    Q_PROPERTY(int Cursor READ Cursor WRITE SetCursor STORED false)
    Q_PROPERTY(int TopLeftLimit READ TopLeftLimit WRITE SetTopLeftLimit)
    Q_PROPERTY(int BottomRightLimit READ BottomRightLimit WRITE SetBottomRightLimit)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(bool ParentCtl3D READ ParentCtl3D WRITE SetParentCtl3D)
    Q_PROPERTY(bool ParentShowHint READ ParentShowHint WRITE SetParentShowHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(bool Visible READ Visible WRITE setVisible)
    // Read from older descriptions only: sets both limits, and is never written.
    Q_PROPERTY(int LimitOffset READ TopLeftLimit WRITE SetLimitOffset STORED false DESIGNABLE false)

public:
    enum TPanelBevel { bvNone, bvLowered, bvRaised };
    Q_ENUM(TPanelBevel)
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    using TSplitterMoveEvent = TEvent<TObject*, int /*X*/, int /*Y*/, bool& /*AllowChange*/>;
    using TMouseEvent = TEvent<TObject*, Qt::MouseButton, Qt::KeyboardModifiers, int /*X*/, int /*Y*/>;
    using TMouseMoveEvent = TEvent<TObject*, Qt::KeyboardModifiers, int /*X*/, int /*Y*/>;

    explicit TSplitter(QWidget* parent);
    ~TSplitter() override;

    // While the splitter's properties are being set as designed, a change of
    // Align keeps the designed size.
    void BeginLoading() { m_isLoading = true; }
    bool IsLoading() const { return m_isLoading; }
    // Ends loading and shows the cursor for the controls set.
    void Loaded();

    QWidget* ControlFirst() const { return m_controlFirst; }
    // The splitter itself or a form is taken as none.
    void SetControlFirst(QWidget* control);
    QWidget* ControlSecond() const { return m_controlSecond; }
    void SetControlSecond(QWidget* control);

    TAlign Align() const;
    // A bar newly put on an edge is 3 pixels thick; with no control set, the
    // control next to the bar on that edge becomes ControlFirst.
    void SetAlign(TAlign align);

    TPanelBevel BevelInner() const { return m_bevelInner; }
    void SetBevelInner(TPanelBevel bevel);
    TPanelBevel BevelOuter() const { return m_bevelOuter; }
    void SetBevelOuter(TPanelBevel bevel);
    int BevelWidth() const { return m_bevelWidth; }
    void SetBevelWidth(int width);
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle style);
    // Invalid stands for the button face colour of the palette.
    QColor Color() const { return m_color; }
    void SetColor(const QColor& color);
    bool Ctl3D() const { return m_ctl3D; }
    void SetCtl3D(bool value) { m_ctl3D = value; }
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool value);
    bool ParentCtl3D() const { return m_parentCtl3D; }
    void SetParentCtl3D(bool value) { m_parentCtl3D = value; }
    bool ParentShowHint() const { return m_parentShowHint; }
    void SetParentShowHint(bool value) { m_parentShowHint = value; }
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool value) { m_showHint = value; }
    bool Visible() const { return !isHidden(); }

    // The cursor for the current controls' alignments, computed afresh.
    int Cursor() const;
    // Shows the given cursor until the next cursor update.
    void SetCursor(int cursor);

    int TopLeftLimit() const { return m_topLeftLimit; }
    void SetTopLeftLimit(int limit) { m_topLeftLimit = limit; }
    int BottomRightLimit() const { return m_bottomRightLimit; }
    void SetBottomRightLimit(int limit) { m_bottomRightLimit = limit; }
    void SetLimitOffset(int limit) { m_topLeftLimit = m_bottomRightLimit = limit; }

    bool IsTracking() const;

    TNotifyEvent OnPosChanged;
    TSplitterMoveEvent OnPosChanging;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnResize;

protected:
    virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    virtual void PosChanged();
    // Asks OnPosChanging; without a handler the answer stays as given.
    virtual void PosChanging(int x, int y, bool& allowChange);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int resizeMode() const;
    void updateCursor();
    void setReference(QWidget*& reference, QMetaObject::Connection& watch, QWidget* control);
    void removed(QObject* control);
    QWidget* neighbour(TAlign align) const;
    void drop(int x, int y);

    bool m_isLoading = false;
    int m_topLeftLimit = 20;
    int m_bottomRightLimit = 20;
    std::unique_ptr<TSplitterDrag> m_drag;
    bool m_isPressed = false;

    QWidget* m_controlFirst = nullptr;
    QWidget* m_controlSecond = nullptr;
    QMetaObject::Connection m_watchFirst;
    QMetaObject::Connection m_watchSecond;
    TPanelBevel m_bevelInner = bvNone;
    TPanelBevel m_bevelOuter = bvRaised;
    int m_bevelWidth = 1;
    TBorderStyle m_borderStyle = bsNone;
    QColor m_color;
    bool m_ctl3D = false;
    bool m_parentColor = false;
    bool m_parentCtl3D = false;
    bool m_parentShowHint = true;
    bool m_showHint = false;
};
