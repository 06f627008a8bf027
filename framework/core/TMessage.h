#pragma once

#include <QtGlobal>

// A window message: number, two parameters and a result. Qt events that the
// program cares about are translated into these, using the Windows numbers for
// the few messages the program names.
struct TMessage {
    quint32 Msg = 0;
    quintptr WParam = 0;
    qintptr LParam = 0;
    qintptr Result = 0;
};

class QEvent;
class QObject;

// An event on its way to its receiver, as the application's message event
// sees it before it is dispatched.
struct TMsg {
    QObject* Receiver = nullptr;
    QEvent* Event = nullptr;
};

namespace Messages {
inline constexpr quint32 WM_DESTROY = 0x0002;
inline constexpr quint32 WM_PAINT = 0x000F;
inline constexpr quint32 WM_QUERYENDSESSION = 0x0011;
inline constexpr quint32 WM_QUIT = 0x0012;
inline constexpr quint32 WM_WININICHANGE = 0x001A;
inline constexpr quint32 WM_GETMINMAXINFO = 0x0024;
inline constexpr quint32 WM_SYSCOMMAND = 0x0112;

inline constexpr quintptr SC_MINIMIZE = 0xF020;
inline constexpr quintptr SC_RESTORE = 0xF120;
} // namespace Messages
