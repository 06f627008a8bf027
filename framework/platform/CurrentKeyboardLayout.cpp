#include "platform/CurrentKeyboardLayout.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

// The XKB protocol header names a field "explicit", a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

CurrentKeyboardLayout* CurrentKeyboardLayout::Instance()
{
    static QPointer<CurrentKeyboardLayout> instance;
    static bool isTried = false;
    if (instance || isTried || !qGuiApp)
        return instance;
    isTried = true;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    quint8 firstEvent = 0;
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &firstEvent, nullptr))
        return nullptr;
    const int deviceId = xkb_x11_get_core_keyboard_device_id(connection);
    if (deviceId < 0)
        return nullptr;
    instance = new CurrentKeyboardLayout(connection, deviceId, firstEvent);
    if (!instance->m_keymap) {
        delete instance;
        return nullptr;
    }
    return instance;
}

CurrentKeyboardLayout::CurrentKeyboardLayout(xcb_connection_t* connection, int deviceId, quint8 firstEvent)
    : QObject(qGuiApp)
    , m_connection(connection)
    , m_deviceId(deviceId)
    , m_firstEvent(firstEvent)
    , m_context(xkb_context_new(XKB_CONTEXT_NO_FLAGS))
{
    // The toolkit already asks the server for these events on the same
    // connection; asking again makes sure they come.
    const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY
        | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    xcb_xkb_select_events(m_connection, xcb_xkb_id_spec_t(m_deviceId), events, 0, events, 0xFF, 0xFF, nullptr);
    readKeymap();
    qGuiApp->installNativeEventFilter(this);
}

CurrentKeyboardLayout::~CurrentKeyboardLayout()
{
    if (qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
    xkb_keymap_unref(m_keymap);
    xkb_context_unref(m_context);
}

void CurrentKeyboardLayout::readKeymap()
{
    m_isReadPending = false;
    xkb_keymap* keymap = m_context
        ? xkb_x11_keymap_new_from_device(m_context, m_connection, m_deviceId, XKB_KEYMAP_COMPILE_NO_FLAGS)
        : nullptr;
    if (!keymap)
        return; // the previous layout stays
    xkb_keymap_unref(m_keymap);
    m_keymap = keymap;
    uint32_t group = 0;
    if (xkb_state* state = xkb_x11_state_new_from_device(m_keymap, m_connection, m_deviceId)) {
        group = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_unref(state);
    }
    m_group = group;
    m_layout.emplace(m_keymap, m_group);
    emit changed();
}

void CurrentKeyboardLayout::readGroup(uint32_t group)
{
    if (group == m_group || !m_keymap)
        return;
    m_group = group;
    m_layout.emplace(m_keymap, m_group);
    emit changed();
}

bool CurrentKeyboardLayout::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != m_firstEvent)
        return false;
    // Every XKB event has its kind in the second byte.
    switch (event->pad0) {
    case XCB_XKB_NEW_KEYBOARD_NOTIFY:
    case XCB_XKB_MAP_NOTIFY:
        // A new layout arrives as a burst of these; it is read once.
        if (!m_isReadPending) {
            m_isReadPending = true;
            QTimer::singleShot(0, this, &CurrentKeyboardLayout::readKeymap);
        }
        break;
    case XCB_XKB_STATE_NOTIFY: {
        const auto* state = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
        if (state->changed & XCB_XKB_STATE_PART_GROUP_STATE)
            readGroup(uint32_t(state->group));
        break;
    }
    default:
        break;
    }
    return false;
}
