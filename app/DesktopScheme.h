#pragma once

#include <QObject>
#include <QPalette>
#include <QDBusVariant>
#include <QVariant>

#include <optional>

// The desktop's colour scheme, dark or light, and the application's palette
// that follows it. The desktop's own appearance setting ("color-scheme" of
// org.freedesktop.appearance, read over the settings portal on the session
// bus) decides where a portal answers with a preference; otherwise the
// palette Qt was given does (a dark window colour means dark). The portal is
// asked without waiting, so a missing or slow one never holds up the start,
// and a change it reports while the program runs is followed at once.
//
// Every window, the editor and the preview take their colours from the
// application's palette; whoever draws colours of their own (the editor's
// TeX colours) reads isDark() or the palette and listens to changed().
class DesktopScheme : public QObject {
    Q_OBJECT

public:
    enum class Scheme { Light, Dark };

    // The scheme of the portal's value where it states a preference (1 dark,
    // 2 light, also wrapped in variants as the portal sends it), else that of
    // the given palette.
    static Scheme decide(const std::optional<QVariant>& portalValue, const QPalette& given);
    static bool isDarkPalette(const QPalette& palette);
    // The palette of the scheme: the given one when it already is of that
    // scheme, else one made for it.
    static QPalette paletteFor(Scheme scheme, const QPalette& given);

    // Starts following the desktop; the application's palette then changes
    // with the scheme. One per application, living as long as it.
    explicit DesktopScheme(QObject* parent = nullptr);
    ~DesktopScheme() override;

    static DesktopScheme* Instance();
    Scheme scheme() const { return m_scheme; }
    bool isDark() const { return m_scheme == Scheme::Dark; }

    // The portal's answer or news, as it came; for the bus and for tests.
    void portalSaid(const QVariant& value);

signals:
    void changed(DesktopScheme::Scheme scheme);

private slots:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void ask();
    void listen();
    void apply(Scheme scheme);

    QPalette m_given;
    Scheme m_scheme;
    bool m_isListening = false;
};
