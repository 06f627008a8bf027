#include "platform/ClipboardReader.h"
#include "controls/TMemo.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <poll.h>

namespace {

// Another program owning the clipboard, on a connection of its own, that
// answers (or not) as it is told, and counts the requests it gets.
class ScriptedOwner {
public:
    enum class Way {
        Silent, // never answers
        OffersPngNeverDelivers, // lists an image, never hands it over
        RefusesTargetsAnswersPng, // refuses the list, answers every request with an image
        Latin1, // offers Latin-1 text only
    };

    ScriptedOwner(Way way, QByteArray payload)
        : m_way(way)
        , m_payload(std::move(payload))
    {
        m_thread = std::thread([this] { run(); });
        TestSupport::waitUntil([this] { return m_isReady.load(); });
    }
    ~ScriptedOwner()
    {
        m_isStopping = true;
        m_thread.join();
    }

    bool isReady() const { return m_isReady; }
    int requests() const { return m_requests; }

private:
    xcb_atom_t atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply
            = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t found = reply ? reply->atom : XCB_NONE;
        std::free(reply);
        return found;
    }

    void run()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_png = atom("image/png");
        xcb_set_selection_owner(m_connection, m_window, m_clipboard, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        xcb_get_selection_owner_reply_t* owner
            = xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_clipboard), nullptr);
        m_isReady = owner && owner->owner == m_window;
        std::free(owner);
        while (!m_isStopping) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                if ((event->response_type & ~0x80) == XCB_SELECTION_REQUEST)
                    answer(*reinterpret_cast<xcb_selection_request_event_t*>(event));
                std::free(event);
            }
            pollfd descriptor { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
            ::poll(&descriptor, 1, 20);
        }
        xcb_destroy_window(m_connection, m_window);
        xcb_disconnect(m_connection);
    }

    // Each request is answered (or not) as the way says: the list of
    // targets as atoms, text or image as bytes, a refusal as no property.
    void answer(const xcb_selection_request_event_t& request)
    {
        ++m_requests;
        const bool isList = request.target == m_targets;
        const xcb_atom_t offered = m_way == Way::Latin1 ? xcb_atom_t(XCB_ATOM_STRING) : m_png;
        const xcb_atom_t list[] = { m_targets, offered };
        if (m_way == Way::Silent || (m_way == Way::OffersPngNeverDelivers && !isList))
            return;
        if (isList && m_way != Way::RefusesTargetsAnswersPng)
            return give(request, XCB_ATOM_ATOM, 32, 2, list);
        if (m_way == Way::RefusesTargetsAnswersPng ? isList : request.target != offered)
            return notify(request, XCB_NONE);
        give(request, offered, 8, uint32_t(m_payload.size()), m_payload.constData());
    }

    void give(const xcb_selection_request_event_t& request, xcb_atom_t type, uint8_t format, uint32_t count, const void* data)
    {
        const xcb_atom_t property = request.property != XCB_NONE ? request.property : request.target;
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property, type, format, count, data);
        notify(request, property);
    }

    void notify(const xcb_selection_request_event_t& request, xcb_atom_t property)
    {
        xcb_selection_notify_event_t notice {};
        notice.response_type = XCB_SELECTION_NOTIFY;
        notice.time = request.time;
        notice.requestor = request.requestor;
        notice.selection = request.selection;
        notice.target = request.target;
        notice.property = property;
        xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notice));
        xcb_flush(m_connection);
    }

    const Way m_way;
    const QByteArray m_payload;
    std::thread m_thread;
    std::atomic<bool> m_isReady { false };
    std::atomic<bool> m_isStopping { false };
    std::atomic<int> m_requests { 0 };
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_NONE;
    xcb_atom_t m_targets = XCB_NONE;
    xcb_atom_t m_png = XCB_NONE;
};

} // namespace

// Only a reply of the type asked for is taken, and Latin-1 text is read as
// Latin-1: an owner that answers every request with an image has no text
// (its image is another form), and "caf\xe9" is "café".
TEST(ClipboardReader, TakesEachReplyAsTheFormItIs)
{
    using ClipboardReader::Status;
    const struct {
        const char* what;
        ScriptedOwner::Way way;
        QByteArray payload;
        Status status;
        QString text;
        QStringList otherForms;
    } cases[] = {
        { "an image for every request", ScriptedOwner::Way::RefusesTargetsAnswersPng, "\x89PNG...", Status::NoText, {},
            { QStringLiteral("image/png") } },
        { "Latin-1 text", ScriptedOwner::Way::Latin1, "caf\xe9", Status::Text, QStringLiteral("caf\u00e9"), {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedOwner owner(c.way, c.payload);
        ASSERT_TRUE(owner.isReady());
        ASSERT_TRUE(TestSupport::waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
        const ClipboardReader::Reading reading = ClipboardReader::read(QDeadlineTimer(5000));
        EXPECT_EQ(reading.status, c.status);
        EXPECT_EQ(reading.text, c.text);
        EXPECT_EQ(reading.otherData.keys(), c.otherForms);
        if (!c.otherForms.isEmpty()) {
            EXPECT_EQ(reading.otherData.value(c.otherForms.first()), c.payload);
        }
    }
}

// A paste asks the owner through the bounded reader only, text and images
// alike, and within one snapshot (the start) only once: an owner that does not
// answer, or lists an image it never hands over, gets no request after the one
// that went unanswered, and costs the bound once.
TEST(ClipboardReader, APasteAsksAnOwnerThatDoesNotDeliverNoFurther)
{
    QWidget window;
    auto* memo = new TMemo(&window);
    bool isOtherDataAsked = false;
    // As the program's own: it looks for an image among the forms.
    memo->TextOfOtherData = [&](const QMimeData* data) {
        isOtherDataAsked = true;
        return data->hasFormat(QStringLiteral("image/png")) ? QStringLiteral("image") : QString();
    };
    const struct {
        const char* what;
        ScriptedOwner::Way way;
        int requests;
    } cases[] = {
        { "an owner that never answers", ScriptedOwner::Way::Silent, 1 },
        { "an owner that lists an image it never hands over", ScriptedOwner::Way::OffersPngNeverDelivers, 2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedOwner owner(c.way, {});
        ASSERT_TRUE(owner.isReady());
        ASSERT_TRUE(TestSupport::waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
        {
            ClipboardReader::Snapshot start(300);
            memo->PasteFromClipboard();
            memo->PasteFromClipboard();
        }
        EXPECT_EQ(owner.requests(), c.requests) << "a start";
        memo->PasteFromClipboard();
        EXPECT_EQ(owner.requests(), 2 * c.requests) << "a restore";
        EXPECT_EQ(memo->Text(), QString());
        EXPECT_FALSE(isOtherDataAsked) << "no image came";
    }
}
