#include "settings/TPlacementWriter.h"

#include "controls/TForm.h"
#include "settings/IniStore.h"
#include "settings/PlacementScreens.h"
#include "settings/TCustomIniFile.h"
#include "settings/TPlacementState.h"

namespace {

QString positionText(int a, int b, int c, int d)
{
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

} // namespace

TPlacementWriter::TPlacementWriter(TCustomIniFile* store, QString section)
    : m_store(store)
    , m_section(std::move(section))
{
}

void TPlacementWriter::Write(const TForm* form, int showCmd, const QRect& normalRect, const TPlacementState& state)
{
    const bool restoreToMaximized = showCmd == TPlacementState::ShowMinimized && form->isMaximized();
    const QPoint minimized = state.minimizedPosition;
    const QPoint maximized = state.maximizedPosition;
    const QRect& rect = normalRect;
    IniStore::WriteInteger(m_store, m_section, QStringLiteral("Flags"), restoreToMaximized ? TPlacementState::RestoreToMaximized : 0);
    IniStore::WriteInteger(m_store, m_section, QStringLiteral("ShowCmd"), showCmd);
    IniStore::WriteInteger(m_store, m_section, QStringLiteral("PixelsPerInch"), PlacementScreens::PixelsPerInch());
    IniStore::WritePosStr(m_store, m_section, QStringLiteral("MinMaxPos"),
        positionText(minimized.x(), minimized.y(), maximized.x(), maximized.y()));
    IniStore::WritePosStr(m_store, m_section, QStringLiteral("NormPos"),
        positionText(rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()));
}

void TPlacementWriter::WriteActiveControl(const TForm* form)
{
    if (form->focusWidget() && m_store)
        m_store->WriteString(m_section, QStringLiteral("ActiveControl"), form->focusWidget()->objectName());
}

void TPlacementWriter::WriteVisible(bool visible)
{
    if (m_store)
        m_store->WriteBool(m_section, QStringLiteral("Visible"), visible);
}
