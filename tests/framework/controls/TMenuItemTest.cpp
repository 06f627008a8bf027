#include "core/Exception.h"
#include "application/TApplication.h"
#include "controls/TForm.h"
#include "controls/TMainMenu.h"
#include "controls/TMenuItem.h"
#include "TestSupport.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

class Clicks : public QObject {
public:
    void clicked(TObject* sender) { log << sender->objectName(); }
    void raise(TObject*) { throw Exception(QStringLiteral("click failed")); }
    QStringList log;
};

// A form with a menu bar: File, and Update holding Now and seven delays.
class TMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        menu = new TMainMenu(&form);
        update = add(menu->Items(), "Update1", 0, false, 0);
        now = add(update, "Now1", 45, true, 0);
        separator = add(update, "N1", 0, false, 0);
        separator->SetCaption(QStringLiteral("-"));
        for (int i = 0; i < 7; ++i)
            delays.append(add(update, qPrintable(QStringLiteral("Delay%1").arg(i)), 0x4031 + i, true, 1));
        for (int i = 0; i < 2; ++i)
            zooms.append(add(update, qPrintable(QStringLiteral("Zoom%1").arg(i)), 0, true, 2));
        form.SetMenu(menu);
    }

    TMenuItem* add(TMenuItem* parent, const char* name, int shortCut, bool radio, int group)
    {
        auto* item = new TMenuItem(&form);
        item->SetName(QString::fromLatin1(name));
        item->SetCaption(QString::fromLatin1(name));
        item->SetShortCut(shortCut);
        item->SetRadioItem(radio);
        item->SetGroupIndex(group);
        item->OnClick = TNotifyEvent(&clicks, &Clicks::clicked);
        parent->Add(item);
        return item;
    }

    QList<bool> checks() const
    {
        QList<bool> result;
        for (TMenuItem* item : delays)
            result << item->Checked();
        return result;
    }

    TForm form;
    TMainMenu* menu = nullptr;
    TMenuItem* update = nullptr;
    TMenuItem* now = nullptr;
    TMenuItem* separator = nullptr;
    QList<TMenuItem*> delays;
    QList<TMenuItem*> zooms; // a second radio group
    Clicks clicks;
};

} // namespace

TEST_F(TMenuTest, CheckingOneRadioEntryUnchecksItsGroupOnly)
{
    delays[1]->SetChecked(true);
    delays[3]->SetChecked(true);
    EXPECT_EQ(checks(), QList<bool>({ false, false, false, true, false, false, false }));
    EXPECT_FALSE(now->Checked());

    now->SetChecked(true); // group 0: no group, touches nobody
    EXPECT_TRUE(delays[3]->Checked());

    zooms[1]->SetChecked(true);
    EXPECT_TRUE(delays[3]->Checked()) << "another group's entry was unchecked";
    delays[2]->SetChecked(true);
    EXPECT_TRUE(zooms[1]->Checked()) << "another group's entry was unchecked";
    zooms[0]->SetChecked(true);
    EXPECT_FALSE(zooms[1]->Checked());

    delays[2]->SetChecked(false);
    EXPECT_EQ(checks(), QList<bool>(7, false)) << "unchecking checks nothing else";
}

TEST_F(TMenuTest, RestoringTheGroupInAnyOrderLeavesTheOneStoredTrue)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        const int wanted = round % 7;
        QList<int> order { 0, 1, 2, 3, 4, 5, 6 };
        std::shuffle(order.begin(), order.end(), random);
        for (int i : order)
            delays[i]->SetChecked(i == wanted);
        QList<bool> expected(7, false);
        expected[wanted] = true;
        EXPECT_EQ(checks(), expected) << "round " << round;
    }
}

TEST_F(TMenuTest, NativeMenuShowsCheckAndShortCutText)
{
    delays[2]->SetChecked(true);
    QAction* action = delays[2]->NativeAction();
    EXPECT_TRUE(action->isChecked());
    EXPECT_EQ(action->text(), "Delay2\tCtrl+3");
    EXPECT_TRUE(separator->NativeAction()->isSeparator());
    EXPECT_EQ(update->NativeAction()->text(), "Update1") << "menu-bar entries show no shortcut";

    // A click through the native menu does not toggle the mark by itself.
    action->trigger();
    EXPECT_TRUE(delays[2]->Checked());
    EXPECT_TRUE(action->isChecked());
    EXPECT_EQ(clicks.log, QStringList({ "Delay2" }));
}

TEST_F(TMenuTest, OnlyOneDefaultEntryPerParentIsBold)
{
    const auto bold = [](TMenuItem* item) { return item->NativeAction()->font().bold(); };
    delays[4]->SetDefault(true);
    delays[1]->SetDefault(true);
    EXPECT_EQ(QList<bool>({ bold(delays[1]), bold(delays[4]) }), QList<bool>({ true, false }));
    delays[1]->SetVisible(false);
    EXPECT_TRUE(bold(delays[4])) << "a hidden default leaves the next one bold";
    delays[1]->SetVisible(true);
    delays[1]->SetDefault(false);
    EXPECT_TRUE(bold(delays[4]));
    EXPECT_FALSE(bold(delays[1]));
}

TEST_F(TMenuTest, GroupIndexNeverDecreasesAmongSiblings)
{
    EXPECT_NO_THROW(delays[0]->SetGroupIndex(0)) << "only group-0 entries come before it";
    delays[0]->SetGroupIndex(1);
    try {
        delays[3]->SetGroupIndex(0);
        FAIL() << "no exception";
    } catch (const EMenuError& e) {
        EXPECT_EQ(e.Message(), "GroupIndex cannot be less than a previous menu item's GroupIndex");
    }
    delays[5]->SetGroupIndex(4);
    EXPECT_EQ(delays[6]->GroupIndex(), 4) << "later siblings are raised";

    TMenuItem* late = add(update, "Late", 0, true, 0);
    EXPECT_EQ(late->GroupIndex(), 4) << "inserted after a higher group, takes it";
}

TEST_F(TMenuTest, TwoCheckedEntriesInAGroupDoNotRecurseWithoutEnd)
{
    // A state the rule itself never produces; it must still end.
    delays[0]->SetRadioItem(false);
    delays[0]->SetChecked(true);
    delays[1]->SetChecked(true);
    delays[0]->SetRadioItem(true);
    delays[0]->SetChecked(false);
    EXPECT_FALSE(delays[0]->Checked());
}

TEST_F(TMenuTest, CommandNumbersAreReusedSmallestFirst)
{
    auto* a = new TMenuItem(nullptr);
    const quint16 freed = a->Command();
    delete a;
    auto* b = new TMenuItem(nullptr);
    EXPECT_EQ(b->Command(), freed);
    EXPECT_TRUE(menu->DispatchCommand(now->Command()));
    EXPECT_EQ(clicks.log, QStringList({ "Now1" }));
    delete b;
}

TEST_F(TMenuTest, ShortCutClicksFirstEntryWithItsAncestors)
{
    TMenuItem* twin = add(update, "Twin", 45, false, 1);
    EXPECT_TRUE(menu->IsShortCut(45));
    EXPECT_EQ(clicks.log, QStringList({ "Update1", "Now1" })) << "outermost first; the first of two equal wins";
    Q_UNUSED(twin);
    EXPECT_FALSE(menu->IsShortCut(0x4041));
}

TEST_F(TMenuTest, DisabledEntrySwallowsItsKey)
{
    now->SetEnabled(false);
    EXPECT_TRUE(menu->IsShortCut(45));
    EXPECT_EQ(clicks.log, QStringList({ "Update1" }));
    update->SetEnabled(false);
    clicks.log.clear();
    EXPECT_TRUE(menu->IsShortCut(45));
    EXPECT_TRUE(clicks.log.isEmpty());
}

TEST_F(TMenuTest, SearchRepeatsWhenTheClickMovedTheShortCut)
{
    TMenuItem* second = add(update, "Second", 45, false, 1);
    now->OnClick = TNotifyEvent::fromFunction([&](TObject*) { now->SetShortCut(0); });
    second->OnClick = TNotifyEvent(&clicks, &Clicks::clicked);
    EXPECT_TRUE(menu->IsShortCut(45));
    EXPECT_EQ(clicks.log, QStringList({ "Update1", "Update1", "Second" }));
}

TEST_F(TMenuTest, RaisingClickIsReportedAndTheKeyCountsAsUsed)
{
    TestSupport::MessageBoxRecorder boxes;
    now->OnClick = TNotifyEvent(&clicks, &Clicks::raise);
    EXPECT_TRUE(menu->IsShortCut(45));
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, "click failed.");
}

TEST_F(TMenuTest, DetachedMenuAcceptsNothing)
{
    TMainMenu detached(nullptr);
    auto* item = new TMenuItem(&detached);
    item->SetShortCut(45);
    detached.Items()->Add(item);
    EXPECT_FALSE(detached.IsShortCut(45));
}

TEST_F(TMenuTest, OpeningADropDownClicksItsEntryFirst)
{
    update->NativeAction();
    ASSERT_NE(update->NativePopup(), nullptr);
    emit update->NativePopup()->aboutToShow();
    EXPECT_EQ(clicks.log, QStringList({ "Update1" }));
}
