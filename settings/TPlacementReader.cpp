#include "settings/TPlacementReader.h"

#include "application/TApplication.h"
#include "core/ExceptionBoundary.h"
#include "platform/WindowProcedure.h"
#include "settings/IniStore.h"
#include "settings/PlacementScreens.h"
#include "settings/TPlacementState.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QWindow>

namespace {

// The words of a position value, separated by blanks and commas.
QStringList positionWords(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("[ ,]")), Qt::SkipEmptyParts);
}

int wordOr(const QStringList& words, int index, int defaultValue)
{
    return index < words.size() ? IniStore::StrToIntDef(words[index], defaultValue) : defaultValue;
}

// The edges of a stored normal rectangle, taken in 64 bits so that no
// stored number overflows. A rectangle without width or height, or one
// beyond any screen's coordinates, is absurd: the window stays as designed.
std::optional<QRect> rectFromEdges(qint64 left, qint64 top, qint64 right, qint64 bottom)
{
    constexpr qint64 Limit = QWIDGETSIZE_MAX;
    const auto isSane = [](qint64 value) { return value >= -Limit && value <= Limit; };
    if (right <= left || bottom <= top || !isSane(left) || !isSane(top) || !isSane(right) || !isSane(bottom)
        || right - left > Limit || bottom - top > Limit)
        return std::nullopt;
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

} // namespace

TPlacementReader::TPlacementReader(TCustomIniFile* store, QString section, TPlacementState& state)
    : m_store(store)
    , m_section(std::move(section))
    , m_state(state)
{
}

void TPlacementReader::ReadNormalRect(TForm* form, const QRect& current)
{
    m_state.restoreToMaximized
        = IniStore::ReadInteger(m_store, m_section, QStringLiteral("Flags"), 0) & TPlacementState::RestoreToMaximized;
    bool found = readMinMaxPositions();
    const std::optional<QRect> stored = readStoredRect(current, found);
    const int pixelsPerInch = PlacementScreens::PixelsPerInch();
    found = found && IniStore::ReadInteger(m_store, m_section, QStringLiteral("PixelsPerInch"), pixelsPerInch) == pixelsPerInch;
    if (!found || !stored) {
        keepOnScreens(form, current);
        return;
    }
    QRect rect = *stored;
    if (PlacementScreens::WindowsCanBePlaced()) {
        fitOnScreens(form, rect);
        form->move(rect.topLeft());
    } else {
        rect.moveTo(current.topLeft());
    }
    form->resize(rect.size());
    m_state.normalRect = rect;
}

// True when the positions were stored.
bool TPlacementReader::readMinMaxPositions()
{
    const QStringList minMax = positionWords(IniStore::ReadPosStr(m_store, m_section, QStringLiteral("MinMaxPos")));
    if (minMax.isEmpty())
        return false;
    m_state.minimizedPosition = { wordOr(minMax, 0, 0), wordOr(minMax, 1, 0) };
    m_state.maximizedPosition = { wordOr(minMax, 2, 0), wordOr(minMax, 3, 0) };
    return true;
}

// The stored normal rectangle, its missing edges taken from the current one;
// found is set when one was stored, std::nullopt when it is absurd.
std::optional<QRect> TPlacementReader::readStoredRect(const QRect& current, bool& found)
{
    const QStringList norm = positionWords(IniStore::ReadPosStr(m_store, m_section, QStringLiteral("NormPos")));
    if (norm.isEmpty())
        return current;
    found = true;
    return rectFromEdges(wordOr(norm, 0, current.left()), wordOr(norm, 1, current.top()),
        wordOr(norm, 2, current.left() + current.width()), wordOr(norm, 3, current.top() + current.height()));
}

// True when the rectangle had to be fitted onto the screens.
bool TPlacementReader::fitOnScreens(TForm* form, QRect& rect)
{
    const QMargins frame = PlacementScreens::FrameOf(form);
    const std::optional<QRect> area = PlacementScreens::FitOnScreens(rect, frame);
    // A window not shown yet has no frame: it is fitted again once it has.
    m_state.fitAreaOnceFramed = frame.isNull() ? area : std::nullopt;
    return area.has_value();
}

// The place the form was designed with (or has) is fitted onto the screens
// as a stored one would be: a screen smaller than it was made for still
// shows the window whole.
void TPlacementReader::keepOnScreens(TForm* form, const QRect& current)
{
    if (!PlacementScreens::WindowsCanBePlaced())
        return;
    QRect rect = current;
    if (!fitOnScreens(form, rect))
        return;
    form->move(rect.topLeft());
    form->resize(rect.size());
}

void TPlacementReader::ReadWindowState(TForm* form, QObject* owner)
{
    const int showCmd = IniStore::ReadInteger(m_store, m_section, QStringLiteral("ShowCmd"), 0);
    Qt::WindowStates state = Qt::WindowNoState;
    switch (showCmd) {
    case 2:
    case 6:
    case 7:
        // A window minimised from the maximised state comes back maximised
        // when it is restored.
        state = m_state.restoreToMaximized ? Qt::WindowMinimized | Qt::WindowMaximized : Qt::WindowMinimized;
        break;
    case 3:
        state = Qt::WindowMaximized;
        break;
    default:
        break;
    }
    const Qt::WindowStates kept = form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state.testFlag(Qt::WindowMinimized) && Application && Application->MainForm() == form) {
        // The whole program minimises once the message loop runs, with the
        // minimise hand-over that goes with it.
        form->setWindowState(kept | (state & ~Qt::WindowMinimized));
        minimizeApplicationOnceShown(form, owner);
        return;
    }
    form->setWindowState(kept | state);
}

// A window manager ignores a minimise asked for before it has put the window
// on the screen, so the command waits until the window is exposed (or a few
// seconds have passed).
void TPlacementReader::minimizeApplicationOnceShown(TForm* form, QObject* owner)
{
    auto* poll = new QTimer(owner);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, form = QPointer<TForm>(form), tries = 0]() mutable {
        const bool exposed = form && form->windowHandle() && form->windowHandle()->isExposed();
        if (!exposed && ++tries < 300)
            return;
        poll->deleteLater();
        if (!form || !Application)
            return;
        TMessage message { Messages::WM_SYSCOMMAND, Messages::SC_MINIMIZE, 0, 0 };
        guarded(Application, [&] { Application->WndProc(message); });
    });
    poll->start();
}

void TPlacementReader::RestoreActiveControl(TForm* form)
{
    const QString name = IniStore::ReadString(m_store, m_section, QStringLiteral("ActiveControl"), QString());
    if (name.isEmpty())
        return;
    for (QWidget* control : form->findChildren<QWidget*>()) {
        if (control->objectName().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (control->isEnabledTo(form) && control->isVisibleTo(form) && control->focusPolicy() != Qt::NoFocus)
            control->setFocus();
        return;
    }
}
