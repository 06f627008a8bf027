#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>

class QMimeData;

// Reads the clipboard's plain text within a bounded time. Another program
// owns the clipboard while it serves it; one that does not answer would
// otherwise keep the user-interface thread waiting for many seconds per
// request. Only text is taken as text: an owner that offers no text, or hands
// over something that is not text, leaves the clipboard without text; its
// other forms the editor can use (an image, a list of files) are then read
// within the same time.
namespace ClipboardReader {

// The longest a whole read may take, however many requests it needs.
constexpr int DefaultTimeoutMs = 1500;

enum class Status {
    Text,     // the clipboard holds text, and it is not empty
    NoText,   // nobody owns the clipboard, or its owner has no text to give
    NoAnswer, // the owner did not answer in time: whatever it holds is unknown
};

// The forms asked for when the clipboard holds no text, by their MIME names.
inline const char* const OtherFormats[] = { "image/png", "image/svg+xml", "text/uri-list" };

struct Reading {
    Status status = Status::NoText;
    QString text;
    // Without text: the other forms the owner handed over in time, each as
    // the form asked for.
    QMap<QString, QByteArray> otherData;
};

// The reading's other forms as mime data.
std::unique_ptr<QMimeData> otherMimeData(const Reading& reading);

Reading read(QDeadlineTimer deadline);

// The text, or std::nullopt when there is none or no answer came in time.
std::optional<QString> text(int timeoutMs = DefaultTimeoutMs);
// The text of the selection (the one the middle button pastes) with the
// same bound; empty when there is none or no answer came in time.
QString selectionText(int timeoutMs = DefaultTimeoutMs);

// While one lives, every read of the clipboard on this thread gets the one
// reading it takes, at the first read, within its time bound. The start asks
// for the clipboard more than once; an owner that does not answer must cost
// that time once, and every question must get the same answer.
class Snapshot {
public:
    explicit Snapshot(int timeoutMs = DefaultTimeoutMs);
    ~Snapshot();
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    const Reading& reading();

private:
    QDeadlineTimer m_deadline;
    std::optional<Reading> m_reading;
    Snapshot* m_outer;
};

} // namespace ClipboardReader
