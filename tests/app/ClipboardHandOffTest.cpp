#include "app/ClipboardHandOff.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>

using TestSupport::waitUntil;

namespace {

const QByteArray Keeper = TAMSEL_CLIPBOARD_KEEPER;

// Whether the child has ended (and is reaped); its exit code goes to code.
bool hasEnded(pid_t pid, int& code)
{
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid)
        return false;
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

// A window of this test that owns the clipboard manager's selection while it lives.
class FakeClipboardManager {
public:
    FakeClipboardManager()
    {
        m_connection = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, 17, "CLIPBOARD_MANAGER"), nullptr);
        xcb_set_selection_owner(m_connection, m_window, atom->atom, XCB_CURRENT_TIME);
        free(atom);
        xcb_flush(m_connection);
    }
    ~FakeClipboardManager()
    {
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_window;
};

} // namespace

TEST(ClipboardHandOff, KeeperServesTheTextUntilAnotherProgramTakesTheClipboard)
{
    const QString text = QStringLiteral("\\frac{a}{b}\n\u00e4 \U0001D11E");
    const pid_t keeper = ClipboardHandOff::StartKeeper(Keeper, text, 15000);
    ASSERT_NE(keeper, 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text) << "served to another process";

    // Another program copies (with a current time stamp, as a user's copy has).
    QProcess other;
    other.start(QStringLiteral("xclip"), { QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard") });
    ASSERT_TRUE(other.waitForStarted());
    other.write("taken over");
    other.closeWriteChannel();
    int code = -1;
    EXPECT_TRUE(waitUntil([&] { return hasEnded(keeper, code); }, 10000)) << "the keeper ends";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "taken over");
    other.kill();
    other.waitForFinished();
}

TEST(ClipboardHandOff, KeeperThatCannotServeIsReportedAndChangesNothing)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    struct Case {
        QByteArray keeper;
        QString text;
        QByteArray platform; // the keeper's
    };
    for (const Case& c : { Case { "/no/such/keeper", QStringLiteral("x"), "xcb" },
             Case { Keeper, QString(), "xcb" }, Case { Keeper, QStringLiteral("x"), "offscreen" } }) {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        qputenv("QT_QPA_PLATFORM", c.platform);
        EXPECT_EQ(ClipboardHandOff::StartKeeper(c.keeper, c.text, 15000), 0) << c.keeper.constData() << " " << c.platform.constData();
        qputenv("QT_QPA_PLATFORM", platform);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    }
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

TEST(ClipboardHandOff, ClipboardManagerIsSeenWhenOneRuns)
{
    EXPECT_FALSE(ClipboardHandOff::HasClipboardManager()) << "a bare X display has none";
    {
        FakeClipboardManager manager;
        EXPECT_TRUE(ClipboardHandOff::HasClipboardManager());
    }
    EXPECT_FALSE(ClipboardHandOff::HasClipboardManager());
}

// The keeper is found by the bytes of the executable's folder, whose name
// need not be text; where it cannot be started the user is told, naming it as
// well as it can be shown, while the text is still on the clipboard.
TEST(ClipboardHandOff, KeeperBesideTheExecutableServesTheTextOrTheUserIsTold)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/f\xe9\xff";
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    TestSupport::MessageBoxRecorder boxes;
    QGuiApplication::clipboard()->setText(QStringLiteral("a^2"));
    ClipboardHandOff::KeepClipboardText(folder + "/tamsel");
    ASSERT_EQ(boxes.boxes().size(), 1) << "no keeper there";
    EXPECT_TRUE(boxes.boxes()[0].text.contains(QString::fromUtf8(folder + "/tamsel-clipboard")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "a^2") << "still served while the box is open";

    ASSERT_TRUE(std::filesystem::copy_file(Keeper.toStdString(), (folder + "/tamsel-clipboard").toStdString()));
    ClipboardHandOff::KeepClipboardText(folder + "/tamsel");
    EXPECT_EQ(boxes.boxes().size(), 1) << "the keeper serves it";
    EXPECT_TRUE(waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }, 5000));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "a^2");
    QProcess other; // takes the clipboard, with a current time stamp, and so ends the keeper
    other.start(QStringLiteral("xclip"), { QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard") });
    other.write("taken over");
    other.closeWriteChannel();
    EXPECT_TRUE(waitUntil([] { return QGuiApplication::clipboard()->text() == "taken over"; }, 10000));
    other.kill();
    other.waitForFinished();
    std::filesystem::remove_all(folder.toStdString());
}
