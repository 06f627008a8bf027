#pragma once

#include "controls/ShortCut.h"
#include "core/TComponent.h"
#include "controls/TMenuItem.h"

#include <QPointer>

class QMainWindow;

// A menu: a root entry that is never shown, whose children are the menu's
// entries. Key presses are matched against the entries' shortcuts here.
class TMenu : public TComponent, public TMenuHost {
    Q_OBJECT

public:
    explicit TMenu(QObject* owner);
    ~TMenu() override;

    TMenuItem* Items() const { return m_items; }

    // Offers a shortcut to the menu: the first entry with it is clicked
    // together with its ancestors; true when an entry had it, even a
    // disabled one.
    bool IsShortCut(TShortCut shortCut);

    TObject* MenuObject() override { return this; }
    bool IsMenuBar() const override { return false; }
    void Rebuild() override { }
    bool DispatchCommand(quint16 command) override;

protected:
    QPointer<QMainWindow> m_window;

private:
    void clickWithAncestors(TMenuItem* item);

    TMenuItem* m_items;
};

// The menu a window shows as its menu bar.
class TMainMenu : public TMenu {
    Q_OBJECT

public:
    explicit TMainMenu(QObject* owner);

    void AttachTo(QMainWindow* window);
    bool IsMenuBar() const override { return true; }
    void Rebuild() override;
    void Loaded() override;
};
