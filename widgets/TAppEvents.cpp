#include "TAppEvents.h"

#include "TAppEventList.h"

TAppEvents::TAppEvents(QObject* owner)
    : TComponent(owner)
{
    TAppEventList::Ensure();
    if (Application)
        Application->HookMainWindow(TApplication::TMessageHook(this, &TAppEvents::hook));
    TAppEventList::Ensure().Register(this);
}

TAppEvents::~TAppEvents()
{
    if (Application)
        Application->UnhookMainWindow(TApplication::TMessageHook(this, &TAppEvents::hook));
    if (TAppEventList* list = TAppEventList::Instance())
        list->Remove(this);
}

void TAppEvents::Loaded()
{
    TComponent::Loaded();
    if (!Application)
        return;
    Application->SetHintColor(m_hintColor);
    Application->SetHintPause(m_hintPause);
    Application->SetShowHint(m_showHint);
    Application->SetHintShortPause(m_hintShortPause);
    Application->SetHintHidePause(m_hintHidePause);
    Application->SetShowMainForm(m_showMainForm);
    Application->SetUpdateFormatSettings(m_updateFormatSettings);
}

QColor TAppEvents::HintColor() const
{
    return Application ? Application->HintColor() : m_hintColor;
}

void TAppEvents::SetHintColor(const QColor& color)
{
    m_hintColor = color;
    if (Application)
        Application->SetHintColor(color);
}

int TAppEvents::HintPause() const
{
    return Application ? Application->HintPause() : m_hintPause;
}

void TAppEvents::SetHintPause(int ms)
{
    m_hintPause = ms;
    if (Application)
        Application->SetHintPause(ms);
}

bool TAppEvents::ShowHint() const
{
    return Application ? Application->ShowHint() : m_showHint;
}

void TAppEvents::SetShowHint(bool value)
{
    m_showHint = value;
    if (Application)
        Application->SetShowHint(value);
}

bool TAppEvents::UpdateFormatSettings() const
{
    return Application ? Application->UpdateFormatSettings() : m_updateFormatSettings;
}

void TAppEvents::SetUpdateFormatSettings(bool value)
{
    m_updateFormatSettings = value;
    if (Application)
        Application->SetUpdateFormatSettings(value);
}

int TAppEvents::HintShortPause() const
{
    return Application ? Application->HintShortPause() : m_hintShortPause;
}

void TAppEvents::SetHintShortPause(int ms)
{
    m_hintShortPause = ms;
    if (Application)
        Application->SetHintShortPause(ms);
}

int TAppEvents::HintHidePause() const
{
    return Application ? Application->HintHidePause() : m_hintHidePause;
}

void TAppEvents::SetHintHidePause(int ms)
{
    m_hintHidePause = ms;
    if (Application)
        Application->SetHintHidePause(ms);
}

bool TAppEvents::ShowMainForm() const
{
    return Application ? Application->ShowMainForm() : m_showMainForm;
}

void TAppEvents::SetShowMainForm(bool value)
{
    m_showMainForm = value;
    if (Application)
        Application->SetShowMainForm(value);
}

void TAppEvents::PaintIcon()
{
    OnPaintIcon(this);
}

void TAppEvents::SettingsChanged()
{
    OnSettingsChanged(this);
}

void TAppEvents::hook(TMessage& message, bool& handled)
{
    handled = ApplicationWindowHook(message);
}

bool TAppEvents::ApplicationWindowHook(TMessage& message)
{
    switch (message.Msg) {
    case Messages::WM_PAINT:
        if (OnPaintIcon && Application->IsMinimized()) {
            PaintIcon();
            return true;
        }
        return false;
    case Messages::WM_WININICHANGE:
        // Switching hints off and on again makes the application build its
        // hint window anew for the changed settings.
        if (Application->ShowHint()) {
            Application->SetShowHint(false);
            Application->SetShowHint(true);
        }
        try {
            SettingsChanged();
        } catch (...) {
            Application->HandleException(this);
        }
        return false;
    default:
        return false;
    }
}
