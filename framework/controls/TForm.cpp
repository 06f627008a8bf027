#include "controls/TForm.h"

#include "core/DestructionScope.h"
#include "core/ExceptionBoundary.h"
#include "controls/KeyMap.h"
#include "core/TComponent.h"
#include "controls/TMainMenu.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QWindow>

#include <utility>

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
    BeforeDestruction();
}

void TForm::BeforeDestruction()
{
    if (m_isDestroying)
        return;
    m_isDestroying = true;
    const DestructionScope destruction;
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

// The toolkit reads the window manager's state property when it learns that
// it changed; a restore that follows a minimise at once leaves the property
// as it was by then, and the toolkit reports no change. The window's mapping
// still tells.
void TForm::WindowExposureChanged(bool exposed)
{
    if (!exposed) {
        m_isUnmapped = true;
        return;
    }
    const bool wasUnmapped = std::exchange(m_isUnmapped, false);
    if (wasUnmapped && isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void TForm::setVisible(bool visible)
{
    if (visible && !isVisible())
        guarded(this, [this] { OnShow(this); });
    QMainWindow::setVisible(visible);
    if (visible && !m_isWatchingExposure && windowHandle()) {
        windowHandle()->installEventFilter(this);
        m_isWatchingExposure = true;
    }
}

bool TForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Expose && watched == windowHandle()) {
        const bool exposed = windowHandle()->isExposed();
        guarded(this, [&] { WindowExposureChanged(exposed); });
    }
    return QMainWindow::eventFilter(watched, event);
}
