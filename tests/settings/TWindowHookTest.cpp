#include "core/Exception.h"
#include "controls/TForm.h"
#include "settings/TFormPlacement.h"
#include "settings/TWinMinMaxInfo.h"
#include "settings/TWindowHook.h"
#include "TestSupport.h"
#include "platform/WindowProcedure.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr quint32 WM_USER = 0x0400;

// Records which party saw which message, in order.
struct Journal : QObject {
    QStringList entries;
    TWindowHook* hook(QObject* owner, const QString& name, QWidget* control, bool handles = false)
    {
        auto* hook = new TWindowHook(owner);
        hook->BeforeMessage = TWindowHook::THookMessageEvent::fromFunction([this, name, handles](TObject*, TMessage& m, bool& handled) {
            entries << name + QStringLiteral(" before %1").arg(m.Msg, 0, 16);
            handled = handles;
        });
        hook->AfterMessage = TWindowHook::THookMessageEvent::fromFunction([this, name](TObject*, TMessage& m, bool&) {
            entries << name + QStringLiteral(" after %1").arg(m.Msg, 0, 16);
        });
        hook->SetWinControl(control);
        return hook;
    }
    void own(QWidget* control)
    {
        WindowProcedure::Set(control, std::make_shared<const TWndMethod>([this](QWidget*, TMessage& m) {
            entries << QStringLiteral("own %1").arg(m.Msg, 0, 16);
        }));
    }
    void send(QWidget* control, quint32 msg)
    {
        TMessage message { msg, 0, 0, 0 };
        WindowProcedure::Send(control, message);
    }
};

} // namespace

TEST(TWindowHook, LaterSubscriberFirstAndHandledStopsAllButDestroy)
{
    QWidget control;
    QObject owner;
    Journal journal;
    journal.own(&control);
    journal.hook(&owner, QStringLiteral("first"), &control);
    TWindowHook* second = journal.hook(&owner, QStringLiteral("second"), &control, true);

    journal.send(&control, WM_USER);
    EXPECT_EQ(journal.entries, QStringList { "second before 400" });

    journal.entries.clear();
    journal.send(&control, Messages::WM_QUIT);
    EXPECT_EQ(journal.entries, (QStringList { "own 12", "second after 12", "first after 12" })) << "WM_QUIT is never offered before";

    journal.entries.clear();
    journal.send(&control, Messages::WM_DESTROY);
    EXPECT_EQ(journal.entries, (QStringList { "second before 2", "own 2", "second after 2" })) << "WM_DESTROY always reaches the control";
    // Detached now until the posted request attaches again.
    journal.entries.clear();
    journal.send(&control, WM_USER);
    EXPECT_EQ(journal.entries, QStringList { "own 400" });
    QCoreApplication::sendPostedEvents();
    journal.entries.clear();
    journal.send(&control, WM_USER);
    EXPECT_EQ(journal.entries, QStringList { "second before 400" });

    second->SetActive(false);
    journal.entries.clear();
    journal.send(&control, WM_USER);
    EXPECT_EQ(journal.entries, (QStringList { "first before 400", "own 400", "first after 400" }));
}

TEST(TWindowHook, LastSubscriptionGoneGivesTheProcedureBackAtOnce)
{
    QWidget control;
    QObject owner;
    Journal journal;
    journal.own(&control);
    const TWndProc own = WindowProcedure::Get(&control);
    TWindowHook* hook = journal.hook(&owner, QStringLiteral("hook"), &control);
    EXPECT_NE(WindowProcedure::Get(&control), own);
    hook->SetWinControl(&control);
    EXPECT_TRUE(hook->Active()) << "the same control changes nothing";
    hook->SetActive(false);
    EXPECT_EQ(WindowProcedure::Get(&control), own);
    hook->SetActive(true);
    EXPECT_NE(WindowProcedure::Get(&control), own);

    // A procedure put in front after ours stays when we leave.
    const TWndProc other = std::make_shared<const TWndMethod>([](QWidget*, TMessage&) { });
    WindowProcedure::Set(&control, other);
    hook->SetWinControl(nullptr);
    EXPECT_EQ(WindowProcedure::Get(&control), other);
}

TEST(TWindowHook, SubscriberExceptionsAreReportedAndTheOfferingGoesOn)
{
    QWidget control;
    QObject owner;
    Journal journal;
    journal.own(&control);
    journal.hook(&owner, QStringLiteral("first"), &control);
    auto* raising = new TWindowHook(&owner);
    raising->BeforeMessage = TWindowHook::THookMessageEvent::fromFunction([](TObject*, TMessage&, bool&) {
        throw Exception(QStringLiteral("boom"));
    });
    raising->SetWinControl(&control);
    TestSupport::MessageBoxRecorder boxes;
    journal.send(&control, WM_USER);
    EXPECT_EQ(journal.entries, (QStringList { "first before 400", "own 400", "first after 400" }));
}

TEST(TWindowHook, RecreatedWindowKeepsTheSubscription)
{
    TForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QObject owner;
    Journal journal;
    journal.hook(&owner, QStringLiteral("hook"), &form);

    // A new set of border icons means a new native window.
    form.setWindowFlag(Qt::WindowMaximizeButtonHint, !form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    form.show();
    EXPECT_TRUE(journal.entries.contains(QStringLiteral("hook before 2")));
    journal.entries.clear();
    journal.send(&form, WM_USER);
    EXPECT_TRUE(journal.entries.isEmpty()) << "not offered until the posted request is handled";
    QCoreApplication::sendPostedEvents();
    journal.send(&form, WM_USER);
    EXPECT_EQ(journal.entries, (QStringList { "hook before 400", "hook after 400" }));
}

TEST(TFormPlacement, LimitsAndResizeLockReachTheWindow)
{
    TForm form;
    auto* placement = new TFormPlacement(&form);
    placement->Loaded();
    form.resize(400, 300);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.minimumSize(), QSize(0, 0));

    placement->MinMaxInfo()->SetMinTrackWidth(300);
    placement->MinMaxInfo()->SetMinTrackHeight(200);
    placement->MinMaxInfo()->SetMaxTrackWidth(800);
    EXPECT_EQ(form.minimumSize(), QSize(300, 200));
    EXPECT_EQ(form.maximumWidth(), 800);
    form.resize(100, 100);
    EXPECT_EQ(form.size(), QSize(300, 200)) << "not smaller than the limits";

    TWinMinMaxInfo none;
    placement->SetMinMaxInfo(&none);
    EXPECT_EQ(form.minimumSize(), QSize(0, 0)) << "the window's own sizes come back";
    EXPECT_EQ(form.maximumWidth(), QWIDGETSIZE_MAX);

    form.resize(500, 350);
    placement->SetPreventResize(true);
    EXPECT_EQ(form.minimumSize(), QSize(500, 350));
    EXPECT_EQ(form.maximumSize(), QSize(500, 350));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    placement->SetPreventResize(false);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.maximumWidth(), QWIDGETSIZE_MAX);
}

namespace {

class TBaseForm : public TForm {
    Q_OBJECT
public:
    std::function<void()> whileBaseDestroyed = [] { };
    ~TBaseForm() override { whileBaseDestroyed(); }
};

class TOwnForm : public TBaseForm {
    Q_OBJECT
};

} // namespace

// While the form is being destroyed its class reads as a base class; the
// section stays the form's own.
TEST(TFormPlacement, TheSectionIsTheFormsOwnAlsoWhileItIsDestroyed)
{
    auto* form = new TOwnForm;
    auto* placement = new TFormPlacement(form);
    form->AfterConstruction();
    QString sectionAtDestroy;
    form->whileBaseDestroyed = [&] { sectionAtDestroy = placement->IniSection(); };
    delete form;
    EXPECT_EQ(sectionAtDestroy, "TOwnForm");
}

#include "TWindowHookTest.moc"
