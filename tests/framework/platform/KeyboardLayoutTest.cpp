#include "platform/CurrentKeyboardLayout.h"
#include "controls/KeyMap.h"
#include "platform/KeyboardLayout.h"
#include "controls/TForm.h"
#include "controls/TMainMenu.h"
#include "controls/TMenuItem.h"
#include "TestSupport.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>

// The XKB protocol header names a field "explicit", a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <gtest/gtest.h>

#include <functional>

namespace {

// X keycodes of a pc105 keyboard, named by where the keys sit.
constexpr quint32 AE01 = 10, AE11 = 20, AD01 = 24, AD06 = 29, AD11 = 34, AC01 = 38, AC10 = 47, BKSL = 51,
                  AB09 = 60, AB10 = 61, LSGT = 94;

struct KeyCase {
    const char* layout;
    const char* variant;
    quint8 virtualKey;
    quint32 keycode;
    const char* name;
};

} // namespace

TEST(KeyboardLayout, CodesFollowTheKeysOfEachLayout)
{
    const KeyCase cases[] = {
        { "us", "", 0xBF, AB10, "/" },
        { "us", "", '1', AE01, "1" },
        // The "1" key types "&" unshifted; its code is still 1's.
        { "fr", "", '1', AE01, "&" },
        { "fr", "", 'A', AD01, "A" },
        { "fr", "", 'M', AC10, "M" },
        // The ":" key types "/" shifted, so it is the US "/" key's.
        { "fr", "", 0xBF, AB09, ":" },
        { "fr", "", 0xBE, AB10, "!" },
        // "-" takes the US minus key's code; the key in the US minus key's
        // place takes the code that "-" left free.
        { "de", "", 'Z', AD06, "Z" },
        { "de", "", 0xBD, AB10, "-" },
        { "de", "", 0xBF, AE11, "\u00DF" },
        { "de", "", 0xDE, BKSL, "#" },
        { "us", "dvorak", 0xBF, AD11, "/" },
        // Letters a layout does not type are known by their place.
        { "ru", "", 'Q', AD01, "\u0419" },
        { "ru", "", 'A', AC01, "\u0424" },
        // "/" is typed by the key left of Z, which 104-key keyboards lack:
        // the key in the US place is Ctrl+/ there.
        { "ru", "", 0xBF, AB10, "." },
    };
    for (const KeyCase& c : cases) {
        const auto layout = KeyboardLayout::FromNames(c.layout, c.variant);
        ASSERT_TRUE(layout) << c.layout;
        const std::string what = std::string(c.layout) + "(" + c.variant + ") code " + std::to_string(c.virtualKey);
        EXPECT_EQ(layout->KeyCode(c.virtualKey), c.keycode) << what;
        EXPECT_EQ(layout->VirtualKey(c.keycode), c.virtualKey) << what;
        if (c.virtualKey >= 0xBA) {
            EXPECT_EQ(layout->KeyName(c.virtualKey), QString::fromUtf8(c.name)) << what;
        }
    }
}

TEST(KeyboardLayout, UnknownLayoutAndKeysGiveNoCode)
{
    EXPECT_FALSE(KeyboardLayout::FromNames("no-such-layout"));
    const auto us = KeyboardLayout::FromNames("us");
    ASSERT_TRUE(us);
    for (const quint32 keycode : { 0u, 9u /* Esc */, 87u /* keypad 1 */, 255u, 256u, 0xFFFFFFFFu })
        EXPECT_EQ(us->VirtualKey(keycode), 0) << keycode;
    EXPECT_EQ(us->KeyName(0x90), "") << "a code no key of the layout has";
}

TEST(KeyboardLayout, EveryCodeOfTheMainBlockHasOneKeyOnEveryLayout)
{
    const quint8 codes[] = { '0', '1', '5', '9', 'A', 'Q', 'Z', 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xDB, 0xDC,
        0xDD, 0xDE };
    for (const char* name : { "us", "gb", "fr", "de", "ch", "es", "it", "se", "cz", "ru", "jp" }) {
        const auto layout = KeyboardLayout::FromNames(name);
        ASSERT_TRUE(layout) << name;
        for (const quint8 code : codes) {
            const quint32 keycode = layout->KeyCode(code);
            EXPECT_NE(keycode, 0u) << name << " has no key for " << int(code);
            EXPECT_NE(keycode, LSGT) << name << " puts " << int(code) << " where 104-key keyboards have no key";
            EXPECT_EQ(layout->VirtualKey(keycode), code) << name;
        }
    }
}

TEST(KeyboardLayout, KeyPressIsKnownByItsKeyNotItsCharacter)
{
    if (!CurrentKeyboardLayout::Instance())
        GTEST_SKIP() << "no X keyboard";
    // The display's layout is a US one: keycode 10 is the "1" key whatever
    // character the event carries.
    QKeyEvent ampersand(QEvent::KeyPress, Qt::Key_Ampersand, Qt::ControlModifier, AE01, 0x26, 0x4, "&");
    EXPECT_EQ(KeyMap::ShortCutFromKeyEvent(&ampersand), 0x4031);
    QKeyEvent keypad(QEvent::KeyPress, Qt::Key_1, Qt::KeypadModifier, 87, 0xffb1, 0, "1");
    EXPECT_EQ(KeyMap::ShortCutFromKeyEvent(&keypad), 97) << "the keypad keeps its own codes";
}

TEST(KeyboardLayout, MenuFollowsTheLayoutAndTheActiveGroupAtOnce)
{
    CurrentKeyboardLayout* keyboard = CurrentKeyboardLayout::Instance();
    if (!keyboard || QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty())
        GTEST_SKIP() << "no X keyboard or no setxkbmap";
    xcb_connection_t* connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const auto lockGroup = [&](uint8_t group) {
        xcb_xkb_latch_lock_state(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0);
        xcb_flush(connection);
    };
    const auto setLayout = [](const char* layout) {
        return QProcess::execute(QStringLiteral("setxkbmap"), { QStringLiteral("-layout"), QLatin1String(layout) });
    };
    // The display is shared with the tests that follow: it gets its US layout back.
    struct Restore {
        std::function<void()> run;
        ~Restore() { run(); }
    } restore { [&] {
        lockGroup(0);
        setLayout("us");
        TestSupport::waitUntil([&] { return keyboard->Layout()->KeyName(0xBF) == u"/"; });
    } };

    TForm form;
    auto* menu = new TMainMenu(&form);
    auto* entry = new TMenuItem(&form);
    entry->SetCaption(QStringLiteral("Half"));
    entry->SetShortCut(0x40BF);
    auto* update = new TMenuItem(&form);
    update->SetCaption(QStringLiteral("Update"));
    update->Add(entry);
    menu->Items()->Add(update);
    form.SetMenu(menu);
    const auto shown = [&] { return entry->NativeAction()->text(); };
    EXPECT_EQ(shown(), "Half\tCtrl+/");

    ASSERT_EQ(setLayout("de"), 0);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return shown() == QStringLiteral("Half\tCtrl+\u00DF"); }))
        << shown().toStdString();

    ASSERT_EQ(setLayout("us,fr"), 0);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return shown() == "Half\tCtrl+/"; })) << shown().toStdString();
    lockGroup(1);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return shown() == "Half\tCtrl+:"; })) << shown().toStdString();
}
