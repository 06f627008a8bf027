#pragma once

#include "platform/KeyboardLayout.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <memory>
#include <optional>

struct xkb_context;
struct xkb_keymap;
struct xcb_connection_t;

// The layout of the X server's keyboard, read again whenever the server
// reports a new keymap or another active layout group, so that shortcut keys
// and their names follow a layout switch at once.
class CurrentKeyboardLayout : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // The one reader of the process, made on first use; null off X11 or when
    // the server has no keyboard extension.
    static CurrentKeyboardLayout* Instance();
    ~CurrentKeyboardLayout() override;

    const KeyboardLayout* Layout() const { return m_layout ? &*m_layout : nullptr; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void changed();

private:
    CurrentKeyboardLayout(xcb_connection_t* connection, int deviceId, quint8 firstEvent);
    void readKeymap();
    void readGroup(uint32_t group);

    xcb_connection_t* m_connection;
    int m_deviceId;
    quint8 m_firstEvent;
    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    uint32_t m_group = 0;
    bool m_isReadPending = false;
    std::optional<KeyboardLayout> m_layout;
};
