#pragma once

#include "ShortCut.h"
#include "TComponent.h"

#include <QPointer>

class TForm;
class TMenuItem;

// A menu: a root entry that is never shown, whose children are the menu's
// entries. Key presses are matched against the entries' shortcuts here.
class TMenu : public TComponent {
    Q_OBJECT

public:
    explicit TMenu(QObject* owner);
    ~TMenu() override;

    TMenuItem* Items() const { return m_items; }

    // Offers a shortcut to the menu: the first entry with it is clicked
    // together with its ancestors; true when an entry had it, even a
    // disabled one.
    bool IsShortCut(TShortCut shortCut);
    bool DispatchCommand(quint16 command);

    virtual void Rebuild() { }

protected:
    QPointer<TForm> m_window;

private:
    void clickWithAncestors(TMenuItem* item);

    TMenuItem* m_items;
};

// The menu a form shows as its menu bar.
class TMainMenu : public TMenu {
    Q_OBJECT

public:
    explicit TMainMenu(QObject* owner);

    void AttachTo(TForm* form);
    void Rebuild() override;
    void Loaded() override;
};
