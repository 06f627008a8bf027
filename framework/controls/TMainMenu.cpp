#include "controls/TMainMenu.h"

#include "platform/CurrentKeyboardLayout.h"
#include "core/ExceptionBoundary.h"

#include <QMainWindow>
#include <QMenuBar>

TMenu::TMenu(QObject* owner)
    : TComponent(owner)
    , m_items(new TMenuItem(this))
{
    m_items->SetRootOf(this);
}

TMenu::~TMenu()
{
    m_items->SetRootOf(nullptr);
}

bool TMenu::IsShortCut(TShortCut shortCut)
{
    if (!m_window)
        return false;
    TMenuItem* item = m_items->FindShortCut(shortCut);
    if (!item)
        return false;
    // A click may change the entry's shortcut; then the search runs again.
    // The bound only guards against clicks that keep swapping shortcuts.
    for (int pass = 0; item && pass < 64; ++pass) {
        QPointer<TMenuItem> found = item;
        clickWithAncestors(item);
        if (!found || found->ShortCut() == shortCut)
            break;
        item = m_items->FindShortCut(shortCut);
    }
    return true;
}

void TMenu::clickWithAncestors(TMenuItem* item)
{
    QList<QPointer<TMenuItem>> chain;
    for (TMenuItem* it = item; it && it != m_items; it = it->Parent())
        chain.prepend(it);
    for (const QPointer<TMenuItem>& it : chain) {
        if (!it || !it->Enabled())
            return;
        try {
            it->Click();
        } catch (...) {
            ExceptionBoundary::ReportCurrentException(this);
            return;
        }
    }
}

bool TMenu::DispatchCommand(quint16 command)
{
    TMenuItem* item = m_items->FindCommand(command);
    if (!item)
        return false;
    guarded(this, [item] { item->Click(); });
    return true;
}

TMainMenu::TMainMenu(QObject* owner)
    : TMenu(owner)
{
    // The shortcut texts name keys of the keyboard layout in use.
    if (CurrentKeyboardLayout* keyboard = CurrentKeyboardLayout::Instance())
        connect(keyboard, &CurrentKeyboardLayout::changed, this, [this] { Rebuild(); });
}

void TMainMenu::AttachTo(QMainWindow* window)
{
    m_window = window;
    Rebuild();
}

void TMainMenu::Rebuild()
{
    if (!m_window || IsLoading())
        return;
    QMenuBar* bar = m_window->menuBar();
    bar->clear();
    TMenuItem* root = Items();
    for (int i = 0; i < root->Count(); ++i) {
        if (root->Items(i)->Visible())
            bar->addAction(root->Items(i)->NativeAction());
    }
    root->RebuildNative();
}

void TMainMenu::Loaded()
{
    TMenu::Loaded();
    Rebuild();
}
