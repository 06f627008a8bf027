#pragma once

#include "core/Exception.h"
#include "core/ExceptionBoundary.h"
#include "core/TEvent.h"
#include "controls/TForm.h"
#include "application/THintInfo.h"
#include "core/TMessage.h"

#include <QApplication>
#include <QColor>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TerminationSignals;

// The one application object of the process. It owns the forms, runs the
// message loop, minimises and restores the whole program with one
// notification per real change, shows message boxes and is where every
// exception that escapes an event handler ends up.
class TApplication : public QApplication {
    Q_OBJECT

public:
    using TExceptionEvent = TEvent<TObject*, const Exception&>;
    // A handler sets Done to false to be called again before the loop waits.
    using TIdleEvent = TEvent<TObject*, bool& /*Done*/>;
    // Command, Data, CallHelp; the handler's answer goes into the last argument.
    using THelpEvent = TEvent<quint16, qint32, bool&, bool&>;
    // Handled true keeps the event from its receiver.
    using TMessageEvent = TEvent<TMsg&, bool& /*Handled*/>;
    using TShowHintEvent = TEvent<QString& /*HintStr*/, bool& /*CanShow*/, THintInfo&>;
    // A message hook sets its bool argument to report the message handled.
    using TMessageHook = TEvent<TMessage&, bool&>;
    using MessageBoxPresenter = std::function<int(const QString& text, const QString& caption, int flags)>;

    static constexpr int MB_OK = 0x0;
    static constexpr int MB_ICONERROR = 0x10;
    static constexpr int MB_ICONWARNING = 0x30;
    static constexpr int MB_ICONINFORMATION = 0x40;
    static constexpr int MB_TASKMODAL = 0x2000;
    static constexpr int IDOK = 1;

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

    void Minimize();
    void Restore();
    bool IsMinimized() const { return m_isMinimized; }

    int MessageBox(const QString& text, const QString& caption, int flags);
    void SetMessageBoxPresenter(MessageBoxPresenter presenter);

    // Call inside a catch block: reports the exception being handled.
    void HandleException(TObject* sender);
    void ShowException(const Exception& e);

    // The application window procedure: hooks first, in registration order.
    void WndProc(TMessage& message);
    void HookMainWindow(const TMessageHook& hook);
    void UnhookMainWindow(const TMessageHook& hook);

    bool notify(QObject* receiver, QEvent* event) override;

    // Hints are the controls' tool tips. An invalid colour stands for the
    // desktop's tool-tip colour.
    QColor HintColor() const { return m_hintColor; }
    void SetHintColor(const QColor& color);
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool showHint);
    int HintPause() const { return m_hintPause; }
    void SetHintPause(int ms) { m_hintPause = ms; }
    int HintShortPause() const { return m_hintShortPause; }
    void SetHintShortPause(int ms) { m_hintShortPause = ms; }
    int HintHidePause() const { return m_hintHidePause; }
    void SetHintHidePause(int ms) { m_hintHidePause = ms; }
    // The hint of the control the mouse last rested on; a change raises OnHint.
    QString Hint() const { return m_hint; }
    void SetHint(const QString& hint);
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
    // The main window reports whether it is really minimised; the application
    // follows with its own minimise or restore. A report or request that comes
    // while a hand-over (OnMinimize, OnRestore) runs is followed once it ends.
    void followMainFormState(bool minimized);
    void showLowLevelReport(const QString& className);
    void showDeferredMessageBoxes();
    void destroyForms();
    bool offerKeyToMenu(QObject* receiver, QEvent* event);
    void applyWindowCommand(TMessage& message);
    int presentMessageBox(const QString& text, const QString& caption, int flags);
    void handOver(TNotifyEvent& event);
    void followApplicationState(Qt::ApplicationState state);
    void idle();
    bool showToolTip(QWidget* control, const QPoint& globalPos);
    void noteSettingsChange(QObject* receiver, const QEvent* event);

    QString m_title;
    std::optional<QString> m_exeName;
    std::vector<std::unique_ptr<TForm>> m_forms;
    QPointer<TForm> m_mainForm;
    QPointer<QWidget> m_focusBeforeMinimize;
    bool m_terminated = false;
    bool m_isMinimized = false;
    bool m_isHandingOver = false;
    bool m_wantedMinimized = false; // the latest state asked for during a hand-over
    std::vector<TMessageHook> m_hooks;
    MessageBoxPresenter m_presenter;
    struct DeferredMessageBox {
        QString text;
        QString caption;
        int flags;
    };
    // Boxes asked for while a form was being destroyed.
    std::vector<DeferredMessageBox> m_deferredBoxes;
    TerminationSignals* m_terminationSignals = nullptr;
    bool m_isEndingAsExit = false;
    bool m_isActive = false;
    QColor m_hintColor;
    bool m_showHint = true;
    int m_hintPause = 500;
    int m_hintShortPause = 50;
    int m_hintHidePause = 2500;
    QString m_hint;
    bool m_showMainForm = true;
    bool m_updateFormatSettings = true;
    bool m_isSettingsChangePending = false;
};

// The application object, set while one exists.
extern TApplication* Application;
