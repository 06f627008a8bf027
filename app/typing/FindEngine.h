#pragma once

#include "app/typing/FindPattern.h"

#include <QObject>
#include <QRegularExpression>

#include <atomic>
#include <memory>

class QTextDocument;

// Searches the editor's document off the interface thread, so a search in a
// line of fifty megabytes leaves the window answering: each request reads
// the text once (until it changes) and hands it to a worker, whose answer
// arrives as a signal; a newer request makes older answers void. Matches of
// no length are passed over.
class FindEngine : public QObject {
    Q_OBJECT

public:
    // Counts requests; an answer is given only to the latest. Counting has
    // its own, so a find while counting leaves the count to come.
    using Generation = std::shared_ptr<std::atomic<quint64>>;

    // A replacement that makes the text longer than this is refused.
    static constexpr qsizetype MaxTextLength = 64 * 1024 * 1024;

    explicit FindEngine(QTextDocument* document);
    ~FindEngine() override;

    // Sets what to look for and counts its matches (counted, later); false
    // and failed() for a regular expression that does not compile.
    bool setPattern(const QString& pattern, const FindOptions& options);
    const QRegularExpression& expression() const { return m_expression; }
    const FindOptions& options() const { return m_options; }
    bool isValid() const { return m_isValid && !m_pattern.isEmpty(); }

    // The next match from a position on (or the previous one ending at or
    // before it), round the end of the text: found() or notFound() later.
    void find(int position, bool isBackward);
    // Every match replaced: replacementReady() with the stretch from the
    // first match to the end of the last and what it becomes, or failed().
    void replaceAll(const QString& replacement);
    // Whether a stretch of the document is a match, and what it becomes.
    bool isMatch(int from, int to, const QString& replacement, QString* replaced);

signals:
    void counted(int count);
    void found(int from, int to);
    void notFound();
    void replacementReady(int from, int to, const QString& text, int count);
    void failed(const QString& message);

private:
    void recount();
    QString snapshot();
    template <typename Job> void run(const Generation& generation, Job job);

    QTextDocument* m_document;
    QString m_pattern;
    FindOptions m_options;
    QRegularExpression m_expression;
    bool m_isValid = true;
    QString m_snapshot;
    bool m_isSnapshotCurrent = false;
    Generation m_generation = std::make_shared<std::atomic<quint64>>(0);
    Generation m_counting = std::make_shared<std::atomic<quint64>>(0);
};
