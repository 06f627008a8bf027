#include "app/ClipboardHandOff.h"
#include "core/Exception.h"
#include "app/ProgramIcon.h"
#include "app/RunningInstance.h"
#include "app/SessionPlatform.h"
#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "app/preview/TWebBrowser.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace {

const QString MainWindowClassName = QStringLiteral("TKelvaneMainForm");
const QString Title = QStringLiteral("Tamsel");
// The desktop entry's name (tamsel.desktop) and the window class it names as
// its StartupWMClass: task bars group the window under the entry by them.
const QString DesktopName = QStringLiteral("tamsel");

// Shows a window and puts it in the foreground; nothing for no window.
void bringWindowForward(QWidget* window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

// What a later start asks of this running copy.
RunningInstanceHandlers runningInstanceHandlers()
{
    RunningInstanceHandlers handlers;
    handlers.topWindowClass = [] { return QStringLiteral("TApplication"); };
    handlers.hasDesignerWindow = [] { return false; };
    handlers.isMinimized = [] { return Application->IsMinimized(); };
    handlers.restore = [] {
        TMessage message { Messages::WM_SYSCOMMAND, Messages::SC_RESTORE, 0, 0 };
        Application->WndProc(message);
    };
    handlers.showWithoutActivation = [] {
        if (TForm* form = Application->MainForm())
            form->show();
    };
    handlers.bringForward = [] { bringWindowForward(Application->MainForm()); };
    // A modal box (the about box) is the last active pop-up while it is open.
    handlers.bringLastActivePopupForward = [] {
        QWidget* popup = QApplication::activeModalWidget();
        bringWindowForward(popup ? popup : Application->MainForm());
    };
    return handlers;
}

} // namespace

int main(int argc, char* argv[])
{
    SessionPlatform::Apply(argc, argv);
    // This web engine builds no accessibility tree for its pages on Linux
    // unless asked to, so a screen reader would find the preview empty. The
    // toolkit still asks the page for it only while a screen reader listens.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
        qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebBrowser::PrepareEngine();
    TApplication application(argc, argv);
    QGuiApplication::setApplicationName(DesktopName);
    QGuiApplication::setDesktopFileName(DesktopName);

    if (ActivateRunningInstance(MainWindowClassName, Title))
        return 1;

    application.HandleTerminationSignals();
    try {
        if (!application.Initialize())
            return 0;
        application.SetTitle(Title);
        application.setWindowIcon(ProgramIcon());
        application.CreateForm(KelvaneMainForm);
        ServeRunningInstanceRequests(runningInstanceHandlers());
        application.Run();
    } catch (...) {
        application.HandleException(&application);
    }
    // The text copied at the close is the user's only copy of it.
    ClipboardHandOff::KeepClipboardText();
    application.DestroyForms();
    return 0;
}
