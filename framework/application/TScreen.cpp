#include "application/TScreen.h"

#include "core/ExceptionBoundary.h"
#include "controls/TForm.h"

#include <QApplication>
#include <QWidget>

TScreen* Screen = nullptr;

TScreen::TScreen(QObject* parent)
    : QObject(parent)
{
    Screen = this;
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusChanged(now); });
}

TScreen::~TScreen()
{
    if (Screen == this)
        Screen = nullptr;
}

void TScreen::focusChanged(QWidget* now)
{
    if (now == m_activeControl)
        return;
    m_activeControl = now;
    guarded(this, [this] { OnActiveControlChange(this); });
    auto* form = now ? qobject_cast<TForm*>(now->window()) : nullptr;
    if (!form || form == m_activeForm)
        return;
    m_activeForm = form;
    guarded(this, [this] { OnActiveFormChange(this); });
}
