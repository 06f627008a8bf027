#pragma once

#include "core/Exception.h"
#include "core/ExceptionBoundary.h"
#include "core/TEvent.h"
#include "controls/TForm.h"
#include "application/ExceptionReport.h"
#include "application/HintDisplay.h"
#include "application/MessageBoxes.h"
#include "application/MinimizeFollower.h"
#include "application/THintInfo.h"
#include "core/TMessage.h"

#include <QApplication>
#include <QColor>
#include <QPointer>

#include <memory>
#include <optional>
#include <vector>

class TerminationSignals;

// The one application object of the process. It owns the forms, runs the
// message loop, minimises and restores the whole program with one
// notification per real change, shows message boxes and is where every
// exception that escapes an event handler ends up. The boxes, the exception
// report, the hints and the following of the main window's minimised state
// are classes of their own; the application gives them its events.
class TApplication : public QApplication {
    Q_OBJECT

public:
    using TExceptionEvent = ExceptionReport::TExceptionEvent;
    // A handler sets Done to false to be called again before the loop waits.
    using TIdleEvent = TEvent<TObject*, bool& /*Done*/>;
    // Command, Data, CallHelp; the handler's answer goes into the last argument.
    using THelpEvent = TEvent<quint16, qint32, bool&, bool&>;
    // Handled true keeps the event from its receiver.
    using TMessageEvent = TEvent<TMsg&, bool& /*Handled*/>;
    using TShowHintEvent = HintDisplay::TShowHintEvent;
    // A message hook sets its bool argument to report the message handled.
    using TMessageHook = TEvent<TMessage&, bool&>;
    using MessageBoxPresenter = MessageBoxes::Presenter;

    static constexpr int MB_OK = MessageBoxes::MB_OK;
    static constexpr int MB_ICONERROR = MessageBoxes::MB_ICONERROR;
    static constexpr int MB_ICONWARNING = MessageBoxes::MB_ICONWARNING;
    static constexpr int MB_ICONINFORMATION = MessageBoxes::MB_ICONINFORMATION;
    static constexpr int MB_TASKMODAL = MessageBoxes::MB_TASKMODAL;
    static constexpr int IDOK = MessageBoxes::IDOK;

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // Returns false when a registration switch asks the process to end at once.
    bool Initialize();

    // The title an application has before it sets its own: the executable's
    // file name cut at its first ".", lower case from the second character on.
    static QString DefaultTitle(const QString& exeName);

    QString Title() const { return m_title; }
    void SetTitle(const QString& title);

    // The full path of the running executable, empty when its path has no
    // name (bytes that are not valid UTF-8); tests may set another one.
    QString ExeName() const;
    void SetExeName(std::optional<QString> path);

    template <class T>
    void CreateForm(T*& reference)
    {
        reference = nullptr;
        auto form = std::make_unique<T>();
        reference = form.get();
        adoptForm(std::move(form));
    }
    TForm* MainForm() const { return m_mainForm; }

    void Run();
    void Terminate();
    // Destroys the forms, the last created first, each after its
    // BeforeDestruction; message boxes raised meanwhile are shown once the
    // forms are gone. The main routine calls it after the message loop.
    void DestroyForms();
    // From now on SIGTERM, SIGHUP and SIGINT end the program as closing the
    // main window does, as does the end of the desktop session.
    void HandleTerminationSignals();
    // A request from outside to end: the main window closes as by Exit; a
    // second request while that close still waits ends the loop at once.
    void EndAsExit();
    bool Terminated() const { return m_terminated; }

    void Minimize() { m_minimizing.Minimize(); }
    void Restore() { m_minimizing.Restore(); }
    bool IsMinimized() const { return m_minimizing.IsMinimized(); }

    int MessageBox(const QString& text, const QString& caption, int flags)
    {
        return m_messageBoxes.Show(text, caption, flags);
    }
    void SetMessageBoxPresenter(MessageBoxPresenter presenter) { m_messageBoxes.SetPresenter(std::move(presenter)); }

    // Call inside a catch block: reports the exception being handled.
    void HandleException(TObject* sender) { m_exceptionReport.HandleCurrent(sender); }
    void ShowException(const Exception& e) { m_exceptionReport.Show(e); }

    // The application window procedure: hooks first, in registration order.
    void WndProc(TMessage& message);
    void HookMainWindow(const TMessageHook& hook);
    void UnhookMainWindow(const TMessageHook& hook);

    bool notify(QObject* receiver, QEvent* event) override;

    // Hints are the controls' tool tips. An invalid colour stands for the
    // desktop's tool-tip colour.
    QColor HintColor() const { return m_hints.Color(); }
    void SetHintColor(const QColor& color) { m_hints.SetColor(color); }
    bool ShowHint() const { return m_hints.IsShown(); }
    void SetShowHint(bool showHint) { m_hints.SetShown(showHint); }
    int HintPause() const { return m_hints.Pause(); }
    void SetHintPause(int ms) { m_hints.SetPause(ms); }
    int HintShortPause() const { return m_hints.ShortPause(); }
    void SetHintShortPause(int ms) { m_hints.SetShortPause(ms); }
    int HintHidePause() const { return m_hints.HidePause(); }
    void SetHintHidePause(int ms) { m_hints.SetHidePause(ms); }
    // The hint of the control the mouse last rested on; a change raises OnHint.
    QString Hint() const { return m_hints.Hint(); }
    void SetHint(const QString& hint) { m_hints.SetHint(hint); }
    // Whether Run shows the main window.
    bool ShowMainForm() const { return m_showMainForm; }
    void SetShowMainForm(bool value) { m_showMainForm = value; }
    bool UpdateFormatSettings() const { return m_updateFormatSettings; }
    void SetUpdateFormatSettings(bool value) { m_updateFormatSettings = value; }

    // Asks OnHelp; false without a handler.
    bool HelpCommand(quint16 command, qint32 data);

    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TExceptionEvent OnException;
    TIdleEvent OnIdle;
    THelpEvent OnHelp;
    TNotifyEvent OnHint;
    TMessageEvent OnMessage;
    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;
    TShowHintEvent OnShowHint;

    // Forgets the forms and state of a previous test; the title and events stay.
    void ResetForTesting();

private:
    void adoptForm(std::unique_ptr<TForm> form);
    void destroyForms();
    bool offerKeyToMenu(QObject* receiver, QEvent* event);
    void applyWindowCommand(TMessage& message);
    void followApplicationState(Qt::ApplicationState state);
    void idle();
    void noteSettingsChange(QObject* receiver, const QEvent* event);

    QString m_title;
    std::optional<QString> m_exeName;
    std::vector<std::unique_ptr<TForm>> m_forms;
    QPointer<TForm> m_mainForm;
    bool m_terminated = false;
    std::vector<TMessageHook> m_hooks;
    MessageBoxes m_messageBoxes;
    ExceptionReport m_exceptionReport;
    HintDisplay m_hints;
    MinimizeFollower m_minimizing;
    TerminationSignals* m_terminationSignals = nullptr;
    bool m_isEndingAsExit = false;
    bool m_isActive = false;
    bool m_showMainForm = true;
    bool m_updateFormatSettings = true;
    bool m_isSettingsChangePending = false;
};

// The application object, set while one exists.
extern TApplication* Application;
