#pragma once

#include <QRect>
#include <QString>

#include <optional>

class QObject;
class TCustomIniFile;
class TForm;
struct TPlacementState;

// Restores a form's placement from the settings: its normal place and size,
// fitted onto the screens, its window state and its focused control. What it
// reads for later (the minimised and maximised positions) goes into the
// placement's state.
class TPlacementReader {
public:
    TPlacementReader(TCustomIniFile* store, QString section, TPlacementState& state);

    // Places the form where it was, or at the current rectangle when nothing
    // usable is stored; either is fitted onto the screens.
    void ReadNormalRect(TForm* form, const QRect& current);
    // Brings back maximised or minimised; the poll that waits to minimise
    // the whole program is a child of the owner.
    void ReadWindowState(TForm* form, QObject* owner);
    void RestoreActiveControl(TForm* form);

private:
    bool readMinMaxPositions();
    std::optional<QRect> readStoredRect(const QRect& current, bool& found);
    bool fitOnScreens(TForm* form, QRect& rect);
    void keepOnScreens(TForm* form, const QRect& current);
    void minimizeApplicationOnceShown(TForm* form, QObject* owner);

    TCustomIniFile* m_store;
    QString m_section;
    TPlacementState& m_state;
};
