#pragma once

#include <QString>

#include <sys/types.h>

// The user's macros file: TeX definitions that hold before every formula of
// the preview. At each refresh a status check (no read) tells whether the
// file changed; only then is it read again, without ever blocking, bounded in
// size, and what makes it unusable becomes a notice. Checking never throws.
class MacrosFile {
public:
    // A bigger file is not read: its definitions would take the typesetter
    // longer than a formula may take.
    static constexpr qint64 MaxBytes = 1024 * 1024;

    explicit MacrosFile(QString path = {});

    // Whether the file differs from what the last check found (a file that
    // has never been there counts as unchanged); if so it is read again.
    bool refresh();

    // The call that gives the page the file's definitions, its name and the
    // notice.
    QString script() const;

    const QString& path() const { return m_path; }
    // The definitions, empty when there is no file or it cannot be used.
    const QString& text() const { return m_text; }
    // Why the file cannot be used, or empty.
    const QString& notice() const { return m_notice; }
    // Whether the page has anything to hear of the file.
    bool isUsed() const { return !m_text.isEmpty() || !m_notice.isEmpty(); }

private:
    // What a status check tells about the file; equal for a file unchanged.
    struct Status {
        bool exists = false;
        mode_t mode = 0;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const Status&) const = default;
    };

    static Status statusOf(const QString& path);
    void read(const Status& status);

    QString m_path;
    Status m_status;
    QString m_text;
    QString m_notice;
};
