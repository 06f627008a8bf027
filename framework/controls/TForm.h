#pragma once

#include "core/TEvent.h"

#include <QMainWindow>

class QKeyEvent;
class TMainMenu;

// A top-level window. Its client area sits below the menu bar; the form
// raises OnResize after the client area's controls have been laid out.
// Closing asks the close query, raises OnClose with the close action preset to
// hide and, for the window that ends the application, reports that it closed.
class TForm : public QMainWindow {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    enum TCloseAction { caNone, caHide, caFree, caMinimize };
    Q_ENUM(TCloseAction)

    using TCloseEvent = TEvent<TObject*, TCloseAction&>;
    using TCloseQueryEvent = TEvent<TObject*, bool&>;

    explicit TForm(QWidget* parent = nullptr);
    ~TForm() override;

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption) { setWindowTitle(caption); }

    TMainMenu* Menu() const { return m_menu; }
    void SetMenu(TMainMenu* menu);

    QWidget* ClientArea() const { return m_clientArea; }

    // Runs once the form's components exist: they are told they are loaded,
    // then OnCreate runs.
    void AfterConstruction();
    // Raises OnDestroy once, while the form and its components are still
    // whole. The application object calls it before it deletes a form; the
    // destructor calls it for a form deleted otherwise. No event loop runs
    // from here until the form is gone (a message box waits until then).
    void BeforeDestruction();
    bool IsDestroying() const { return m_isDestroying; }

    void Close();
    bool CloseQuery();

    // Offers a key press to the form's menu; true when a menu entry has it.
    bool IsShortCut(const QKeyEvent* event);

    // Set by the application object on its main window: closing it then ends
    // the application whatever the close action says.
    void SetEndsApplication(bool endsApplication) { m_endsApplication = endsApplication; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnResize;
    TNotifyEvent OnShow;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    // Raised as the form's destruction begins, while it is still whole.
    TNotifyEvent OnDestroy;

    void DoResize();

    // The window manager unmapped or mapped the window. A minimised window is
    // never mapped: one mapped again after being unmapped has been restored,
    // also when the toolkit missed the window manager's report of it.
    void WindowExposureChanged(bool exposed);

signals:
    // The window that ends the application was closed.
    void closedAsMainForm();
    // The window manager minimised or restored the window.
    void minimizedChanged(bool minimized);

protected:
    // Runs once the components have been told they are loaded, before OnCreate.
    virtual void Loaded() { }
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // OnShow runs before the window becomes visible, so that a place and
    // size set there are where the window first appears.
    void setVisible(bool visible) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_clientArea = nullptr;
    TMainMenu* m_menu = nullptr;
    bool m_endsApplication = false;
    bool m_isDestroying = false;
    bool m_isWatchingExposure = false;
    bool m_isUnmapped = false;
};
