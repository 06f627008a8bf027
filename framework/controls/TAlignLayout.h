#pragma once

#include "controls/TAlign.h"

#include <QLayout>
#include <QList>

// Lays a parent's aligned controls out along its edges: first the top ones
// from the top down, then the bottom ones from the bottom up, then left and
// right, each group in the order the controls were aligned; the client
// controls fill what is left. An edge control keeps its own height (or width)
// and is stretched along the edge; controls aligned alNone stay where they
// are. Alignment can be suspended, so that several size changes cost one
// layout pass when it is resumed.
class TAlignLayout : public QLayout {
    Q_OBJECT

public:
    explicit TAlignLayout(QWidget* parent);
    ~TAlignLayout() override;

    // The layout of the control's parent, installed there when the parent has
    // no layout yet; null when the control has no parent or the parent uses
    // another kind of layout.
    static TAlignLayout* ofParent(const QWidget* control);
    // alNone for a control that its parent does not align.
    static TAlign alignOf(const QWidget* control);
    // Aligns the control in its parent, which lays its controls out again.
    static void setAlign(QWidget* control, TAlign align);

    void DisableAlign();
    // The last resume lays the controls out, once.
    void EnableAlign();
    bool IsAlignDisabled() const { return m_disableLevel > 0; }
    void Realign();

    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override { return int(m_items.size()); }
    QSize sizeHint() const override;
    QSize minimumSize() const override { return { 0, 0 }; }
    void setGeometry(const QRect& rect) override;

signals:
    // After each layout pass.
    void aligned();

private:
    struct Item {
        QLayoutItem* item;
        TAlign align;
    };
    int indexOf(const QWidget* control) const override;
    void alignControls(const QRect& clientRect);

    QList<Item> m_items;
    int m_disableLevel = 0;
};
