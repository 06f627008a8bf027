#pragma once

#include "controls/ShortCut.h"
#include "core/TComponent.h"

#include <QList>
#include <QPointer>

#include <memory>

class QAction;
class QMenu;

// What an entry needs of the menu whose tree it belongs to. The menu is
// above its entries: it knows them, they know it only through this.
class TMenuHost {
public:
    // The menu object, as the sender of what a guarded click reports.
    virtual TObject* MenuObject() = 0;
    // Whether the root's entries are shown on a menu bar.
    virtual bool IsMenuBar() const = 0;
    // An entry's shown properties changed.
    virtual void Rebuild() = 0;
    // Clicks the entry with that command number; false when none has it.
    virtual bool DispatchCommand(quint16 command) = 0;

protected:
    ~TMenuHost() = default;
};

// One entry of a menu tree. Checking a radio entry unchecks the other radio
// entries of its group among its siblings; a click never changes the check
// mark by itself. The native QAction/QMenu only display the entry.
class TMenuItem : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool Default READ Default WRITE SetDefault)
    Q_PROPERTY(bool RadioItem READ RadioItem WRITE SetRadioItem)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(int ShortCut READ ShortCut WRITE SetShortCut)

public:
    explicit TMenuItem(QObject* owner);
    ~TMenuItem() override;

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    bool Checked() const { return m_checked; }
    void SetChecked(bool checked);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    bool Default() const { return m_default; }
    void SetDefault(bool isDefault);
    bool RadioItem() const { return m_radioItem; }
    void SetRadioItem(bool radioItem);
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    int GroupIndex() const { return m_groupIndex; }
    void SetGroupIndex(int groupIndex);
    int ShortCut() const { return m_shortCut; }
    void SetShortCut(int shortCut);
    quint16 Command() const { return m_command; }

    void Add(TMenuItem* item);
    void Insert(int index, TMenuItem* item);
    void Remove(TMenuItem* item);
    int Count() const { return int(m_items.size()); }
    TMenuItem* Items(int index) const { return m_items.at(index); }
    TMenuItem* Parent() const { return m_parent; }
    int IndexOf(const TMenuItem* item) const { return int(m_items.indexOf(item)); }

    virtual void Click();

    // The first entry of this subtree, in menu order, with that shortcut or
    // command number; each entry is tested before its children.
    TMenuItem* FindShortCut(TShortCut shortCut);
    TMenuItem* FindCommand(quint16 command);

    // The native display of the entry, refreshed from the properties.
    QAction* NativeAction();
    QMenu* NativePopup() const { return m_popup.get(); }
    void RebuildNative();

    TNotifyEvent OnClick;

    // The menu whose root this entry is; null for other entries.
    void SetRootOf(TMenuHost* menu) { m_rootOf = menu; }

private:
    bool isRadioGroupMember() const { return m_radioItem && m_groupIndex != 0; }
    bool isOnMenuBar() const;
    bool isDrawnAsDefault() const;
    QString nativeText() const;
    void uncheckGroupSiblings();
    void updateNativeCheck();
    void changed();
    TMenuHost* menu() const;

    QString m_caption;
    bool m_checked = false;
    bool m_enabled = true;
    bool m_default = false;
    bool m_radioItem = false;
    bool m_visible = true;
    int m_groupIndex = 0;
    TShortCut m_shortCut = 0;
    quint16 m_command = 0;
    bool m_isUncheckingGroup = false;

    QList<TMenuItem*> m_items;
    TMenuItem* m_parent = nullptr;
    TMenuHost* m_rootOf = nullptr;
    QPointer<QAction> m_action;
    std::unique_ptr<QMenu> m_popup;
};
