#include "app/DesktopScheme.h"

#include "core/ExceptionBoundary.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStyle>
#include <QWidget>

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString SettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString AppearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString SchemeKey = QStringLiteral("color-scheme");

// An answer that never comes is dropped after this long; the palette Qt
// was given holds meanwhile.
constexpr int PortalTimeoutMs = 2000;

DesktopScheme* instance = nullptr;

// The portal wraps the value in one variant (ReadOne) or two (Read).
QVariant unwrapped(QVariant value)
{
    for (int depth = 0; depth < 3; ++depth) {
        if (value.canConvert<QDBusVariant>() && value.metaType() == QMetaType::fromType<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        else if (value.metaType() == QMetaType::fromType<QDBusArgument>()) {
            QDBusVariant inner;
            value.value<QDBusArgument>() >> inner;
            value = inner.variant();
        } else
            break;
    }
    return value;
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xe6, 0xe6, 0xe6);
    const QColor disabled(0x80, 0x80, 0x80), highlight(0x3d, 0x6f, 0xb8);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(0x4a, 0x4a, 0x4a));
    p.setColor(QPalette::Midlight, QColor(0x40, 0x40, 0x40));
    p.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x30));
    p.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1a));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0x3a, 0x4a, 0x60));
    p.setColor(QPalette::Link, QColor(0x6a, 0xa8, 0xff));
    for (auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

} // namespace

bool DesktopScheme::isDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

DesktopScheme::Scheme DesktopScheme::decide(const std::optional<QVariant>& portalValue, const QPalette& given)
{
    if (portalValue) {
        const QVariant value = unwrapped(*portalValue);
        const QMetaType type = value.metaType();
        const bool isNumber = type == QMetaType::fromType<uint>() || type == QMetaType::fromType<int>();
        if (isNumber && value.toInt() == 1)
            return Scheme::Dark;
        if (isNumber && value.toInt() == 2)
            return Scheme::Light;
    }
    return isDarkPalette(given) ? Scheme::Dark : Scheme::Light;
}

QPalette DesktopScheme::paletteFor(Scheme scheme, const QPalette& given)
{
    if (isDarkPalette(given) == (scheme == Scheme::Dark))
        return given;
    return scheme == Scheme::Dark ? darkPalette() : QApplication::style() ? QApplication::style()->standardPalette() : QPalette(Qt::white);
}

DesktopScheme::DesktopScheme(QObject* parent)
    : QObject(parent)
    , m_given(QApplication::palette())
    , m_scheme(decide(std::nullopt, m_given))
{
    instance = this;
    ask();
}

DesktopScheme::~DesktopScheme()
{
    if (instance == this)
        instance = nullptr;
}

DesktopScheme* DesktopScheme::Instance()
{
    return instance;
}

void DesktopScheme::ask()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    listen();
    QDBusMessage question = QDBusMessage::createMethodCall(PortalService, PortalPath, SettingsInterface, QStringLiteral("Read"));
    question.setArguments({ AppearanceGroup, SchemeKey });
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(question, PortalTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        // A bus that was still being reached refused the subscription.
        if (!m_isListening)
            listen();
        const QDBusMessage reply = call->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            guarded(this, [&] { portalSaid(reply.arguments().first()); });
    });
}

void DesktopScheme::listen()
{
    m_isListening = QDBusConnection::sessionBus().connect(PortalService, PortalPath, SettingsInterface,
        QStringLiteral("SettingChanged"), this, SLOT(onSettingChanged(QString,QString,QDBusVariant)));
}

void DesktopScheme::onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group == AppearanceGroup && key == SchemeKey)
        guarded(this, [&] { portalSaid(QVariant::fromValue(value)); });
}

void DesktopScheme::portalSaid(const QVariant& value)
{
    apply(decide(value, m_given));
}

void DesktopScheme::apply(Scheme scheme)
{
    const QPalette wanted = paletteFor(scheme, m_given);
    if (QApplication::palette() != wanted) {
        QApplication::setPalette(wanted);
        // A window that has resolved its palette keeps it until told again;
        // each window takes the new one with its children.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            QEvent change(QEvent::ApplicationPaletteChange);
            QCoreApplication::sendEvent(window, &change);
        }
    }
    if (scheme == m_scheme)
        return;
    m_scheme = scheme;
    emit changed(scheme);
}
