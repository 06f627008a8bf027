#pragma once

#include <QRect>
#include <QString>

class TCustomIniFile;
class TForm;
struct TPlacementState;

// Saves a form's placement into the settings: its show command, the density
// it was saved at, its minimised, maximised and normal positions, and, when
// asked, its focused control.
class TPlacementWriter {
public:
    TPlacementWriter(TCustomIniFile* store, QString section);

    void Write(const TForm* form, int showCmd, const QRect& normalRect, const TPlacementState& state);
    void WriteActiveControl(const TForm* form);
    // Whether the form was still shown when it was saved: only when it is
    // destroyed without having closed.
    void WriteVisible(bool visible);

private:
    TCustomIniFile* m_store;
    QString m_section;
};
