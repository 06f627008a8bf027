#include "TForm.h"

#include "ExceptionBoundary.h"
#include "KeyMap.h"
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
        if (m_endsApplication) {
            event->accept();
            emit closedAsMainForm();
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
        emit minimizedChanged(isMinimized());
}

void TForm::setVisible(bool visible)
{
    if (visible && !isVisible())
        guarded(this, [this] { OnShow(this); });
    QMainWindow::setVisible(visible);
}
