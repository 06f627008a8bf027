#include "TForm.h"

#include "KeyMap.h"
#include "TApplication.h"
#include "TComponent.h"
#include "TMainMenu.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace {

// The client area reports its resize from its own handler, which Qt calls
// after the area's layout has placed the controls for the new size.
class TClientArea : public QWidget {
public:
    explicit TClientArea(TForm* form)
        : QWidget(form)
        , m_form(form)
    {
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        m_form->DoResize();
    }

private:
    TForm* m_form;
};

} // namespace

TForm::TForm(QWidget* parent)
    : QMainWindow(parent)
    , m_clientArea(new TClientArea(this))
{
    setCentralWidget(m_clientArea);
}

TForm::~TForm()
{
    guarded(this, [this] { OnDestroy(this); });
}

void TForm::SetMenu(TMainMenu* menu)
{
    m_menu = menu;
    if (m_menu)
        m_menu->AttachTo(this);
}

void TForm::AfterConstruction()
{
    for (TComponent* component : findChildren<TComponent*>())
        component->Loaded();
    Loaded();
    guarded(this, [this] { OnCreate(this); });
}

void TForm::DoResize()
{
    guarded(this, [this] { OnResize(this); });
}

void TForm::Close()
{
    close();
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    OnCloseQuery(this, canClose);
    return canClose;
}

bool TForm::IsShortCut(const QKeyEvent* event)
{
    if (!m_menu)
        return false;
    const TShortCut shortCut = KeyMap::ShortCutFromKeyEvent(event);
    return shortCut != 0 && m_menu->IsShortCut(shortCut);
}

bool TForm::event(QEvent* event)
{
    try {
        return QMainWindow::event(event);
    } catch (...) {
        Application->HandleException(this);
        return true;
    }
}

void TForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    guarded(this, [&] {
        if (!CloseQuery())
            return;
        TCloseAction action = caHide;
        OnClose(this, action);
        if (action == caNone)
            return;
        if (Application && Application->MainForm() == this) {
            Application->Terminate();
            event->accept();
            return;
        }
        if (action == caMinimize)
            showMinimized();
        else
            event->accept();
    });
}

void TForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        routeWindowStateChange();
}

// The window manager's minimise and restore of the main window become the
// application's minimise and restore commands, so they notify exactly once.
void TForm::routeWindowStateChange()
{
    if (!Application || Application->MainForm() != this)
        return;
    const bool minimized = isMinimized();
    if (minimized == Application->IsMinimized())
        return;
    TMessage message { Messages::WM_SYSCOMMAND, minimized ? Messages::SC_MINIMIZE : Messages::SC_RESTORE, 0, 0 };
    Application->WndProc(message);
}

void TForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    guarded(this, [this] { OnShow(this); });
}
