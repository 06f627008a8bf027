#include "app/DesktopScheme.h"
#include "MainFormFixture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTimer>

#include <optional>

namespace {

QPalette lightPalette()
{
    QPalette palette(QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Base, Qt::white);
    return palette;
}

QPalette darkPalette()
{
    QPalette palette(QColor(0x30, 0x30, 0x30));
    palette.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    return palette;
}

// A settings portal of the test's own on the session bus: it answers the
// scheme after a delay and announces changes.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    explicit FakePortal(QVariant answer, int delayMs)
        : m_answer(std::move(answer))
        , m_delayMs(delayMs)
        , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-portal")))
    {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), this, QDBusConnection::ExportAllSlots);
        m_isUp = m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    ~FakePortal() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-portal"));
    }
    bool isUp() const { return m_isUp; }

    void announce(uint scheme)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
        signal.setArguments({ QStringLiteral("org.freedesktop.appearance"), QStringLiteral("color-scheme"),
            QVariant::fromValue(QDBusVariant(scheme)) });
        m_bus.send(signal);
    }

public slots:
    QDBusVariant Read(const QString&, const QString&)
    {
        setDelayedReply(true);
        const QDBusMessage question = message();
        QTimer::singleShot(m_delayMs, this, [this, question] {
            m_bus.send(question.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(m_answer))))));
        });
        return {};
    }

private:
    QVariant m_answer;
    int m_delayMs;
    QDBusConnection m_bus;
    bool m_isUp = false;
};

} // namespace

// What decides the scheme: the portal's stated preference, else the palette.
TEST(DesktopScheme, PortalPreferenceElsePalette)
{
    using S = DesktopScheme::Scheme;
    struct Case {
        const char* name;
        std::optional<QVariant> portal;
        QPalette given;
        S expected;
    };
    const Case cases[] = {
        { "no portal, light palette", std::nullopt, lightPalette(), S::Light },
        { "no portal, dark palette", std::nullopt, darkPalette(), S::Dark },
        { "portal dark over a light palette", QVariant(uint(1)), lightPalette(), S::Dark },
        { "portal light over a dark palette", QVariant(uint(2)), darkPalette(), S::Light },
        { "portal without preference", QVariant(uint(0)), darkPalette(), S::Dark },
        { "wrapped twice, as Read answers", QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(uint(1))))), lightPalette(), S::Dark },
        { "garbage: text", QVariant(QStringLiteral("dark")), lightPalette(), S::Light },
        { "garbage: out of range", QVariant(uint(7)), lightPalette(), S::Light },
        { "garbage: empty", QVariant(), darkPalette(), S::Dark },
    };
    for (const Case& c : cases)
        EXPECT_EQ(DesktopScheme::decide(c.portal, c.given), c.expected) << c.name;
    // The palette of a scheme is the given one when it suits.
    EXPECT_EQ(DesktopScheme::paletteFor(S::Dark, darkPalette()), darkPalette());
    EXPECT_TRUE(DesktopScheme::isDarkPalette(DesktopScheme::paletteFor(S::Dark, lightPalette())));
}

class SchemeForm : public MainFormFixture {
protected:
    // The application's scheme follows the test's portal from its start.
    void followAnew()
    {
        delete DesktopScheme::Instance();
        new DesktopScheme(qApp);
    }
    void TearDown() override
    {
        MainFormFixture::TearDown();
        delete DesktopScheme::Instance();
        QApplication::setPalette(lightPalette());
    }
};

// A slow portal holds up nothing; its answer, and a change it announces
// later, recolour the editor and the page, whose copies stay dark on nothing.
TEST_F(SchemeForm, FollowsASlowPortalAndItsChanges)
{
    QApplication::setPalette(lightPalette());
    FakePortal portal(QVariant(uint(1)), 300);
    if (!portal.isUp())
        GTEST_SKIP() << "no session bus";
    followAnew();
    startWith(QStringLiteral("x^2"));
    ASSERT_TRUE(refreshWith(QStringLiteral("\\frac{a}{b} + \\foo")));
    ASSERT_TRUE(DesktopScheme::Instance());
    ASSERT_TRUE(TestSupport::waitUntil([] { return DesktopScheme::Instance()->isDark(); }, 10000));
    EXPECT_TRUE(DesktopScheme::isDarkPalette(form->Memo1->palette()));
    EXPECT_LT(form->Memo1->palette().color(QPalette::Base).lightnessF(), 0.5);
    const auto pageBackground = [&] { return runInPage(QStringLiteral("getComputedStyle(document.body).backgroundColor")).toString(); };
    EXPECT_TRUE(TestSupport::waitUntil([&] { return pageBackground() == QStringLiteral("rgb(43, 43, 43)"); }, 10000)) << pageBackground().toStdString();
    EXPECT_EQ(runInPage(QStringLiteral("document.documentElement.style.colorScheme")).toString(), QStringLiteral("dark"));

    portal.announce(2);
    ASSERT_TRUE(TestSupport::waitUntil([] { return !DesktopScheme::Instance()->isDark(); }, 10000));
    EXPECT_FALSE(DesktopScheme::isDarkPalette(form->Memo1->palette()));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return pageBackground() == QStringLiteral("rgb(238, 238, 238)"); }, 10000)) << pageBackground().toStdString();
}

#include "DesktopSchemeTest.moc"
