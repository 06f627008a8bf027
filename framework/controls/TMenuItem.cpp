#include "controls/TMenuItem.h"

#include "core/Exception.h"
#include "core/ExceptionBoundary.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <bitset>

namespace {

// Command numbers come from one pool shared by every menu of the process:
// each entry takes the smallest free number and gives it back when destroyed.
std::bitset<65536>& commandPool()
{
    static std::bitset<65536> used;
    return used;
}

quint16 takeCommand()
{
    auto& used = commandPool();
    for (size_t i = 0; i < used.size(); ++i) {
        if (!used[i]) {
            used[i] = true;
            return quint16(i);
        }
    }
    throw EMenuError(QStringLiteral("Out of system resources"));
}

} // namespace

TMenuItem::TMenuItem(QObject* owner)
    : TComponent(owner)
    , m_command(takeCommand())
{
}

TMenuItem::~TMenuItem()
{
    if (m_parent)
        m_parent->m_items.removeOne(this);
    for (TMenuItem* item : std::as_const(m_items))
        item->m_parent = nullptr;
    commandPool()[m_command] = false;
}

void TMenuItem::SetCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    changed();
}

void TMenuItem::SetChecked(bool checked)
{
    if (checked == m_checked || m_isUncheckingGroup)
        return;
    if (isRadioGroupMember() && m_parent)
        uncheckGroupSiblings();
    m_checked = checked;
    updateNativeCheck();
}

// While this entry turns its siblings off it ignores being turned off by
// them, so a group that somehow holds two checked entries cannot recurse
// without end.
void TMenuItem::uncheckGroupSiblings()
{
    m_isUncheckingGroup = true;
    const auto siblings = m_parent->m_items;
    for (TMenuItem* sibling : siblings) {
        if (sibling != this && sibling->m_radioItem && sibling->m_groupIndex == m_groupIndex)
            sibling->SetChecked(false);
    }
    m_isUncheckingGroup = false;
}

void TMenuItem::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (m_action)
        m_action->setEnabled(enabled);
}

void TMenuItem::SetDefault(bool isDefault)
{
    if (isDefault == m_default)
        return;
    m_default = isDefault;
    changed();
}

void TMenuItem::SetRadioItem(bool radioItem)
{
    if (radioItem == m_radioItem)
        return;
    m_radioItem = radioItem;
    changed();
}

void TMenuItem::SetVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    changed();
}

void TMenuItem::SetGroupIndex(int groupIndex)
{
    groupIndex = std::clamp(groupIndex, 0, 255);
    if (groupIndex == m_groupIndex)
        return;
    if (m_parent) {
        const int index = m_parent->IndexOf(this);
        for (int i = 0; i < index; ++i) {
            if (m_parent->Items(i)->m_groupIndex > groupIndex)
                throw EMenuError(QStringLiteral("GroupIndex cannot be less than a previous menu item's GroupIndex"));
        }
        for (int i = index + 1; i < m_parent->Count(); ++i) {
            TMenuItem* later = m_parent->Items(i);
            if (later->m_groupIndex < groupIndex)
                later->m_groupIndex = groupIndex;
        }
    }
    m_groupIndex = groupIndex;
    changed();
}

void TMenuItem::SetShortCut(int shortCut)
{
    if (TShortCut(shortCut) == m_shortCut)
        return;
    m_shortCut = TShortCut(shortCut);
    changed();
}

void TMenuItem::Add(TMenuItem* item)
{
    Insert(Count(), item);
}

void TMenuItem::Insert(int index, TMenuItem* item)
{
    if (item->m_parent)
        item->m_parent->Remove(item);
    // An entry inserted after one with a higher group index joins that group.
    if (index > 0 && m_items.at(index - 1)->m_groupIndex > item->m_groupIndex)
        item->m_groupIndex = m_items.at(index - 1)->m_groupIndex;
    m_items.insert(index, item);
    item->m_parent = this;
    changed();
}

void TMenuItem::Remove(TMenuItem* item)
{
    if (m_items.removeOne(item)) {
        item->m_parent = nullptr;
        changed();
    }
}

void TMenuItem::Click()
{
    if (m_enabled && OnClick)
        OnClick(this);
}

TMenuItem* TMenuItem::FindShortCut(TShortCut shortCut)
{
    for (TMenuItem* item : std::as_const(m_items)) {
        if (item->m_shortCut == shortCut)
            return item;
        if (TMenuItem* found = item->FindShortCut(shortCut))
            return found;
    }
    return nullptr;
}

TMenuItem* TMenuItem::FindCommand(quint16 command)
{
    for (TMenuItem* item : std::as_const(m_items)) {
        if (item->m_command == command)
            return item;
        if (TMenuItem* found = item->FindCommand(command))
            return found;
    }
    return nullptr;
}

bool TMenuItem::isOnMenuBar() const
{
    return m_parent && m_parent->m_rootOf && m_parent->m_rootOf->IsMenuBar();
}

TMenuHost* TMenuItem::menu() const
{
    const TMenuItem* item = this;
    while (item->m_parent)
        item = item->m_parent;
    return item->m_rootOf;
}

QString TMenuItem::nativeText() const
{
    QString text = m_caption;
    if (m_items.isEmpty() && m_shortCut != 0 && !isOnMenuBar()) {
        const QString shortCutText = ShortCuts::ShortCutToText(m_shortCut);
        if (!shortCutText.isEmpty())
            text += u'\t' + shortCutText;
    }
    return text;
}

// A menu has one default entry: of several marked, the first shown is bold.
bool TMenuItem::isDrawnAsDefault() const
{
    if (!m_default || !m_visible)
        return false;
    if (!m_parent)
        return true;
    for (const TMenuItem* sibling : std::as_const(m_parent->m_items)) {
        if (sibling == this)
            return true;
        if (sibling->m_default && sibling->m_visible)
            return false;
    }
    return true;
}

QAction* TMenuItem::NativeAction()
{
    if (!m_items.isEmpty() && !m_popup) {
        m_popup = std::make_unique<QMenu>();
        // Opening a drop-down clicks the entry that owns it.
        QObject::connect(m_popup.get(), &QMenu::aboutToShow, this, [this] {
            TMenuHost* host = menu();
            guarded(host ? host->MenuObject() : this, [this] { Click(); });
        });
    }
    QAction* wanted = m_popup ? m_popup->menuAction() : m_action.data();
    if (!wanted) {
        wanted = new QAction(this);
        QObject::connect(wanted, &QAction::triggered, this, [this] {
            updateNativeCheck(); // Qt toggled the mark; only our setter decides it.
            if (TMenuHost* owner = menu())
                owner->DispatchCommand(m_command);
        });
    }
    m_action = wanted;
    const bool isSeparator = m_caption == u"-";
    m_action->setSeparator(isSeparator);
    m_action->setText(isSeparator ? QString() : nativeText());
    m_action->setEnabled(m_enabled);
    QFont font = m_action->font();
    font.setBold(isDrawnAsDefault());
    m_action->setFont(font);
    if (isRadioGroupMember() && !m_action->actionGroup()) {
        // A one-entry exclusive group only makes Qt draw a bullet; the radio
        // rule itself is ours.
        auto* group = new QActionGroup(m_action);
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        group->addAction(m_action);
    }
    updateNativeCheck();
    return m_action;
}

void TMenuItem::updateNativeCheck()
{
    if (!m_action)
        return;
    m_action->setCheckable(m_checked || isRadioGroupMember());
    m_action->setChecked(m_checked);
}

void TMenuItem::RebuildNative()
{
    if (m_popup) {
        m_popup->clear();
        for (TMenuItem* item : std::as_const(m_items)) {
            if (item->m_visible)
                m_popup->addAction(item->NativeAction());
        }
    }
    for (TMenuItem* item : std::as_const(m_items))
        item->RebuildNative();
}

// A property that shows in the menu changed: the whole menu is rebuilt, which
// costs nothing for menus of this size.
void TMenuItem::changed()
{
    if (TMenuHost* owner = menu())
        owner->Rebuild();
}
