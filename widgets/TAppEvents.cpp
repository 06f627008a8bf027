#include "widgets/TAppEvents.h"

#include "widgets/TAppEventList.h"

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

namespace {

// A mirrored setting reads the application's current value while there is an
// application object, and the component's own copy otherwise.
template <class T, class Getter>
T mirrored(const T& own, Getter getter)
{
    return Application ? (Application->*getter)() : own;
}

// A write keeps the component's copy, for Loaded, and sets the application's.
template <class T, class Setter>
void mirror(T& own, const T& value, Setter setter)
{
    own = value;
    if (Application)
        (Application->*setter)(value);
}

} // namespace

QColor TAppEvents::HintColor() const { return mirrored(m_hintColor, &TApplication::HintColor); }
void TAppEvents::SetHintColor(const QColor& color) { mirror(m_hintColor, QColor(color), &TApplication::SetHintColor); }
int TAppEvents::HintPause() const { return mirrored(m_hintPause, &TApplication::HintPause); }
void TAppEvents::SetHintPause(int ms) { mirror(m_hintPause, int(ms), &TApplication::SetHintPause); }
bool TAppEvents::ShowHint() const { return mirrored(m_showHint, &TApplication::ShowHint); }
void TAppEvents::SetShowHint(bool value) { mirror(m_showHint, bool(value), &TApplication::SetShowHint); }
bool TAppEvents::UpdateFormatSettings() const { return mirrored(m_updateFormatSettings, &TApplication::UpdateFormatSettings); }
void TAppEvents::SetUpdateFormatSettings(bool value) { mirror(m_updateFormatSettings, bool(value), &TApplication::SetUpdateFormatSettings); }
int TAppEvents::HintShortPause() const { return mirrored(m_hintShortPause, &TApplication::HintShortPause); }
void TAppEvents::SetHintShortPause(int ms) { mirror(m_hintShortPause, int(ms), &TApplication::SetHintShortPause); }
int TAppEvents::HintHidePause() const { return mirrored(m_hintHidePause, &TApplication::HintHidePause); }
void TAppEvents::SetHintHidePause(int ms) { mirror(m_hintHidePause, int(ms), &TApplication::SetHintHidePause); }
bool TAppEvents::ShowMainForm() const { return mirrored(m_showMainForm, &TApplication::ShowMainForm); }
void TAppEvents::SetShowMainForm(bool value) { mirror(m_showMainForm, bool(value), &TApplication::SetShowMainForm); }

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
