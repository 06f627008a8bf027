#include "app/SessionPlatform.h"

#include <QMap>

#include <gtest/gtest.h>

TEST(SessionPlatform, WaylandSessionsRunThroughXWaylandUnlessTheUserChose)
{
    struct Case {
        const char* what;
        QMap<QByteArray, QByteArray> environment;
        std::vector<const char*> arguments;
        QByteArray expected;
    };
    const Case cases[] = {
        { "X11 session", { { "DISPLAY", ":0" }, { "XDG_SESSION_TYPE", "x11" } }, {}, "" },
        { "Wayland with XWayland", { { "WAYLAND_DISPLAY", "wayland-0" }, { "DISPLAY", ":0" } }, {}, "xcb" },
        { "Wayland by session type", { { "XDG_SESSION_TYPE", "wayland" }, { "DISPLAY", ":1" } }, {}, "xcb" },
        { "Wayland without XWayland", { { "WAYLAND_DISPLAY", "wayland-0" } }, {}, "" },
        { "user's variable", { { "WAYLAND_DISPLAY", "wayland-0" }, { "DISPLAY", ":0" }, { "QT_QPA_PLATFORM", "wayland" } }, {}, "" },
        { "user's argument", { { "WAYLAND_DISPLAY", "wayland-0" }, { "DISPLAY", ":0" } }, { "-platform", "wayland" }, "" },
        { "user's long argument", { { "WAYLAND_DISPLAY", "wayland-0" }, { "DISPLAY", ":0" } }, { "--platform", "wayland" }, "" },
        { "other arguments", { { "WAYLAND_DISPLAY", "wayland-0" }, { "DISPLAY", ":0" } }, { "-platformx", "/REGSERVER" }, "xcb" },
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv { "tamsel" };
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const auto environment = [&](const char* name) { return c.environment.value(name); };
        EXPECT_EQ(SessionPlatform::ChoosePlatform(environment, int(argv.size()), argv.data()), c.expected) << c.what;
    }
}
