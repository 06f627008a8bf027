#pragma once

#include "core/TComponent.h"
#include "controls/TForm.h"
#include "settings/TPlacementState.h"

#include <QPoint>
#include <QPointer>
#include <QRect>

#include <memory>
#include <optional>

class TCustomIniFile;
class TWinMinMaxInfo;
class TWindowHook;
struct TMessage;

// Keeps its form's placement (position, size, window state) in the settings:
// restored when the form is shown, saved when it closes, or when it is
// destroyed without having saved at its close. It takes over the form's
// OnShow, OnCloseQuery and OnDestroy and calls the form's own handlers after
// (show, destroy) or before (close query) its own.
class TFormPlacement : public TComponent {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(QString IniFileName READ IniFileName WRITE SetIniFileName)
    Q_PROPERTY(QString IniSection READ IniSection WRITE SetIniSection)
    Q_PROPERTY(TPlacementOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(bool PreventResize READ PreventResize WRITE SetPreventResize)
    Q_PROPERTY(bool UseRegistry READ UseRegistry WRITE SetUseRegistry)

public:
    enum TPlacementOption { fpState = 0x1, fpPosition = 0x2, fpActiveControl = 0x4 };
    Q_DECLARE_FLAGS(TPlacementOptions, TPlacementOption)
    Q_FLAG(TPlacementOptions)

    explicit TFormPlacement(QObject* owner);
    ~TFormPlacement() override;

    bool Active() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    // Empty means the executable's path with ".INI" (or the default key of
    // the store over the user's configuration).
    QString IniFileName() const;
    void SetIniFileName(const QString& fileName) { m_iniFileName = fileName; }
    // Empty means the owner's default section.
    QString IniSection() const;
    void SetIniSection(const QString& section) { m_iniSection = section; }
    TWinMinMaxInfo* MinMaxInfo() const { return m_minMaxInfo; }
    void SetMinMaxInfo(const TWinMinMaxInfo* info);
    TPlacementOptions Options() const { return m_options; }
    void SetOptions(TPlacementOptions options) { m_options = options; }
    bool PreventResize() const { return m_preventResize; }
    void SetPreventResize(bool prevent);
    bool UseRegistry() const { return m_useRegistry; }
    void SetUseRegistry(bool use) { m_useRegistry = use; }

    TNotifyEvent OnSavePlacement;
    TNotifyEvent OnRestorePlacement;

    void Loaded() override;
    void SaveFormPlacement();
    void RestoreFormPlacement();

    // Through the store of the current save or restore, or one opened for
    // this call alone.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue);
    void WriteString(const QString& section, const QString& key, const QString& value);

    // Test seam: whether the windowing system lets programs place their
    // windows (it does not on Wayland); none asks the platform.
    static void SetWindowsCanBePlacedForTesting(std::optional<bool> canBePlaced);

    // The form's placement as the settings hold it.
    int ShowCmd() const;
    QRect NormalRect() const;

protected:
    virtual void WritePlacement();
    virtual void ReadPlacement();
    TCustomIniFile* Store() const { return m_store.get(); }
    TForm* Form() const { return qobject_cast<TForm*>(Owner()); }
    TWindowHook* Hook() const { return m_hook; }
    void MarkRestored() { m_restored = true; }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class OpenStore;

    void FormShow(TObject* sender);
    void FormCloseQuery(TObject* sender, bool& canClose);
    void FormDestroy(TObject* sender);

    std::unique_ptr<TCustomIniFile> createStore() const;
    void adjustMaximizedPosition();
    void limitsChanged();
    void applyPreventResize();
    void updateHook();
    void WndMessage(TObject* sender, TMessage& message, bool& handled);
    QPoint maximizedPosition() const;

    bool m_active = true;
    QString m_iniFileName;
    QString m_iniSection;
    TWinMinMaxInfo* m_minMaxInfo = nullptr;
    TPlacementOptions m_options;
    bool m_preventResize = false;
    bool m_useRegistry = false;

    std::unique_ptr<TCustomIniFile> m_store;
    bool m_saved = false;
    bool m_restored = false;
    bool m_destroying = false;
    bool m_maximizeAllowed = true;
    bool m_tookOverEvents = false;
    bool m_formGone = false;
    QString m_ownerSection;
    TWindowHook* m_hook = nullptr;
    TNotifyEvent m_previousOnShow;
    TForm::TCloseQueryEvent m_previousOnCloseQuery;
    TNotifyEvent m_previousOnDestroy;
    TPlacementState m_state;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TFormPlacement::TPlacementOptions)
