#include "app/SessionPlatform.h"

#include <QtGlobal>

#include <cstring>

namespace {

bool hasPlatformArgument(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strncmp(argument, "--", 2) == 0)
            ++argument;
        if (std::strcmp(argument, "-platform") == 0)
            return true;
    }
    return false;
}

} // namespace

namespace SessionPlatform {

QByteArray ChoosePlatform(const Environment& environment, int argc, const char* const* argv)
{
    if (!environment("QT_QPA_PLATFORM").isEmpty() || hasPlatformArgument(argc, argv))
        return {};
    const bool isWayland
        = !environment("WAYLAND_DISPLAY").isEmpty() || environment("XDG_SESSION_TYPE") == "wayland";
    // Without an X display (no XWayland) Wayland itself is better than nothing.
    if (!isWayland || environment("DISPLAY").isEmpty())
        return {};
    return QByteArrayLiteral("xcb");
}

void Apply(int argc, char** argv)
{
    const QByteArray platform
        = ChoosePlatform([](const char* name) { return qgetenv(name); }, argc, argv);
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

} // namespace SessionPlatform
