#include "platform/ClipboardReader.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>

#include <poll.h>

namespace {

// Property reads ask for at most this many 32-bit units at a time.
constexpr uint32_t PropertyChunkUnits = 1 << 20;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

enum class Outcome { Done, Refused, TimedOut };

using ClipboardReader::Reading;
using ClipboardReader::Status;

// A connection of its own to the X server and a hidden window that receives
// the clipboard's text, for one read. The owner's answers arrive here and
// nowhere else, so a late answer after a timeout disturbs nothing.
class SelectionRequester {
public:
    explicit SelectionRequester(QClipboard::Mode mode)
        : m_connection(xcb_connect(nullptr, &m_screenNumber))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < m_screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (!screens.rem)
            return;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screens.data->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        m_clipboard = mode == QClipboard::Selection ? xcb_atom_t(XCB_ATOM_PRIMARY) : atom("CLIPBOARD");
        m_property = atom("TAMSEL_CLIPBOARD_TEXT");
        m_incr = atom("INCR");
        m_utf8 = atom("UTF8_STRING");
        m_utf8Plain = atom("text/plain;charset=utf-8");
        m_targets = atom("TARGETS");
        for (size_t i = 0; i < std::size(ClipboardReader::OtherFormats); ++i)
            m_others[i] = atom(ClipboardReader::OtherFormats[i]);
    }

    ~SelectionRequester()
    {
        if (m_window)
            xcb_destroy_window(m_connection, m_window);
        xcb_disconnect(m_connection);
    }

    SelectionRequester(const SelectionRequester&) = delete;
    SelectionRequester& operator=(const SelectionRequester&) = delete;

    bool isReady() const { return !xcb_connection_has_error(m_connection) && m_window && m_property; }

    bool hasOwner()
    {
        XcbReply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr));
        return reply && reply->owner != XCB_NONE;
    }

    // Asks for the text in the best text form the owner offers. An owner
    // that lists no targets is asked for UTF-8 and then Latin-1 text; either
    // way only a reply typed as the text asked for is taken, since some
    // owners answer every request with whatever they hold (an image).
    // Without text, the other forms are asked for, as long as time is left.
    Reading read(QDeadlineTimer deadline)
    {
        QByteArray targets;
        Reading reading;
        switch (convert(m_targets, targets, deadline)) {
        case Outcome::TimedOut:
            return { Status::NoAnswer, {}, {} };
        case Outcome::Done:
            reading = textAs(bestTextTarget(targets), deadline);
            break;
        case Outcome::Refused:
            reading = textAs(m_utf8, deadline);
            if (reading.status == Status::NoText)
                reading = textAs(XCB_ATOM_STRING, deadline);
            targets.clear();
            for (const xcb_atom_t other : m_others)
                targets.append(reinterpret_cast<const char*>(&other), sizeof other);
            break;
        }
        if (reading.status == Status::NoText)
            readOthers(targets, reading, deadline);
        return reading;
    }

private:
    // Each other form among the targets, while the owner answers in time.
    void readOthers(const QByteArray& targetList, Reading& reading, QDeadlineTimer deadline)
    {
        for (size_t i = 0; i < std::size(ClipboardReader::OtherFormats); ++i) {
            if (!isOffered(targetList, m_others[i]))
                continue;
            QByteArray bytes;
            const Outcome outcome = convert(m_others[i], bytes, deadline);
            if (outcome == Outcome::TimedOut)
                return;
            if (outcome == Outcome::Done)
                reading.otherData.insert(QString::fromLatin1(ClipboardReader::OtherFormats[i]), bytes);
        }
    }

    static bool isOffered(const QByteArray& targetList, xcb_atom_t target)
    {
        const qsizetype count = targetList.size() / qsizetype(sizeof(xcb_atom_t));
        const auto* offered = reinterpret_cast<const xcb_atom_t*>(targetList.constData());
        return target != XCB_NONE && std::find(offered, offered + count, target) != offered + count;
    }

    xcb_atom_t atom(const char* name)
    {
        XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : XCB_NONE;
    }

    Reading textAs(xcb_atom_t target, QDeadlineTimer deadline)
    {
        if (target == XCB_NONE)
            return { Status::NoText, {}, {} };
        QByteArray bytes;
        switch (convert(target, bytes, deadline)) {
        case Outcome::TimedOut:
            return { Status::NoAnswer, {}, {} };
        case Outcome::Refused:
            return { Status::NoText, {}, {} };
        case Outcome::Done:
            break;
        }
        const QString text = target == XCB_ATOM_STRING ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
        return { text.isEmpty() ? Status::NoText : Status::Text, text, {} };
    }

    // The first text form of ours among the owner's targets, or none.
    xcb_atom_t bestTextTarget(const QByteArray& targetList) const
    {
        for (const xcb_atom_t wanted : { m_utf8, m_utf8Plain, xcb_atom_t(XCB_ATOM_STRING) }) {
            if (isOffered(targetList, wanted))
                return wanted;
        }
        return XCB_NONE;
    }

    // The type a reply to a request for target must have: the targets come
    // as a list of atoms, text as the form asked for.
    xcb_atom_t replyTypeFor(xcb_atom_t target) const
    {
        return target == m_targets ? xcb_atom_t(XCB_ATOM_ATOM) : target;
    }

    Outcome convert(xcb_atom_t target, QByteArray& bytes, QDeadlineTimer deadline)
    {
        xcb_delete_property(m_connection, m_window, m_property);
        xcb_convert_selection(m_connection, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        XcbReply<xcb_generic_event_t> notified = waitFor(deadline, [this](const xcb_generic_event_t* e) {
            if ((e->response_type & ~0x80) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
            return notify->requestor == m_window && notify->selection == m_clipboard;
        });
        if (!notified)
            return Outcome::TimedOut;
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get())->property == XCB_NONE)
            return Outcome::Refused;

        xcb_atom_t type = XCB_NONE;
        if (!readProperty(type, bytes))
            return Outcome::Refused;
        if (type == m_incr)
            return readIncrementally(replyTypeFor(target), bytes, deadline);
        return type == replyTypeFor(target) ? Outcome::Done : Outcome::Refused;
    }

    // A large text comes in pieces: each deletion of the property asks for the
    // next one, and an empty piece ends the text.
    Outcome readIncrementally(xcb_atom_t expectedType, QByteArray& bytes, QDeadlineTimer deadline)
    {
        bytes.clear();
        for (;;) {
            XcbReply<xcb_generic_event_t> changed = waitFor(deadline, [this](const xcb_generic_event_t* e) {
                if ((e->response_type & ~0x80) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                return notify->window == m_window && notify->atom == m_property
                    && notify->state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!changed)
                return Outcome::TimedOut;
            QByteArray piece;
            xcb_atom_t type = XCB_NONE;
            if (!readProperty(type, piece))
                return Outcome::Refused;
            if (piece.isEmpty())
                return Outcome::Done;
            if (type != expectedType)
                return Outcome::Refused;
            bytes += piece;
        }
    }

    // Reads the whole property and deletes it.
    bool readProperty(xcb_atom_t& type, QByteArray& bytes)
    {
        bytes.clear();
        uint32_t offsetUnits = 0;
        for (;;) {
            XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection,
                xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, offsetUnits,
                    PropertyChunkUnits),
                nullptr));
            if (!reply)
                return false;
            type = reply->type;
            const int length = xcb_get_property_value_length(reply.get());
            bytes.append(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
            offsetUnits += uint32_t(length) / 4;
            if (reply->bytes_after == 0)
                break;
        }
        xcb_delete_property(m_connection, m_window, m_property);
        xcb_flush(m_connection);
        return true;
    }

    XcbReply<xcb_generic_event_t> waitFor(
        QDeadlineTimer deadline, const std::function<bool(const xcb_generic_event_t*)>& wanted)
    {
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                XcbReply<xcb_generic_event_t> owned(event);
                if (wanted(event))
                    return owned;
            }
            if (xcb_connection_has_error(m_connection) || deadline.hasExpired())
                return nullptr;
            pollfd descriptor { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
            ::poll(&descriptor, 1, int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    xcb_connection_t* m_connection;
    int m_screenNumber = 0;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_NONE;
    xcb_atom_t m_property = XCB_NONE;
    xcb_atom_t m_incr = XCB_NONE;
    xcb_atom_t m_utf8 = XCB_NONE;
    xcb_atom_t m_utf8Plain = XCB_NONE;
    xcb_atom_t m_targets = XCB_NONE;
    xcb_atom_t m_others[std::size(ClipboardReader::OtherFormats)] = {};
};

// What the toolkit holds, from memory.
ClipboardReader::Reading readingOf(const QMimeData* data)
{
    ClipboardReader::Reading reading;
    reading.text = data ? data->text() : QString();
    if (!reading.text.isEmpty()) {
        reading.status = ClipboardReader::Status::Text;
        return reading;
    }
    for (const char* format : ClipboardReader::OtherFormats) {
        if (data && data->hasFormat(QLatin1String(format)))
            reading.otherData.insert(QLatin1String(format), data->data(QLatin1String(format)));
    }
    return reading;
}

// The snapshot that answers this thread's reads while it lives.
thread_local ClipboardReader::Snapshot* currentSnapshot = nullptr;

ClipboardReader::Reading readNow(QDeadlineTimer deadline, QClipboard::Mode mode = QClipboard::Clipboard)
{
    // The toolkit answers from memory while this program owns the clipboard;
    // on other platforms it is the only way in.
    QClipboard* clipboard = QGuiApplication::clipboard();
    const bool isOwned = mode == QClipboard::Selection ? clipboard->ownsSelection() : clipboard->ownsClipboard();
    if (QGuiApplication::platformName() != u"xcb" || isOwned)
        return readingOf(clipboard->mimeData(mode));

    SelectionRequester requester(mode);
    if (!requester.isReady())
        return readingOf(clipboard->mimeData(mode));
    if (!requester.hasOwner())
        return {};
    return requester.read(deadline);
}

} // namespace

namespace ClipboardReader {

Reading read(QDeadlineTimer deadline)
{
    return currentSnapshot ? currentSnapshot->reading() : readNow(deadline);
}

std::unique_ptr<QMimeData> otherMimeData(const Reading& reading)
{
    auto data = std::make_unique<QMimeData>();
    for (auto form = reading.otherData.cbegin(); form != reading.otherData.cend(); ++form)
        data->setData(form.key(), form.value());
    return data;
}

QString selectionText(int timeoutMs)
{
    Reading reading = readNow(QDeadlineTimer(timeoutMs), QClipboard::Selection);
    return reading.status == Status::Text ? std::move(reading.text) : QString();
}

std::optional<QString> text(int timeoutMs)
{
    Reading reading = read(QDeadlineTimer(timeoutMs));
    return reading.status == Status::Text ? std::optional(std::move(reading.text)) : std::nullopt;
}

Snapshot::Snapshot(int timeoutMs)
    : m_deadline(timeoutMs)
    , m_outer(currentSnapshot)
{
    currentSnapshot = this;
}

Snapshot::~Snapshot()
{
    currentSnapshot = m_outer;
}

const Reading& Snapshot::reading()
{
    if (!m_reading)
        m_reading = readNow(m_deadline);
    return *m_reading;
}

} // namespace ClipboardReader
