#pragma once

#include <QByteArray>

#include <functional>

// Under a Wayland session the program runs through XWayland: the clipboard
// hand-over rests on knowing when the window is minimised and restored, which
// Wayland does not tell a program. A platform the user chose (QT_QPA_PLATFORM
// or -platform) is kept.
namespace SessionPlatform {

using Environment = std::function<QByteArray(const char* name)>;

// The platform to ask Qt for, or empty to leave Qt's choice alone.
QByteArray ChoosePlatform(const Environment& environment, int argc, const char* const* argv);

// Sets QT_QPA_PLATFORM accordingly; call before the application object exists.
void Apply(int argc, char** argv);

} // namespace SessionPlatform
