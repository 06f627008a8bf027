#include "app/typing/FindEngine.h"

#include "editor/MemoText.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTextDocument>
#include <QThreadPool>

namespace {

using Generation = FindEngine::Generation;

// Walks the matches of some length from a position on; stops (false) when
// the request is void.
template <typename Visit>
bool forEachMatch(const QRegularExpression& expression, const QString& text, int from, const Generation& generation,
    quint64 mine, Visit visit)
{
    QRegularExpressionMatchIterator it = expression.globalMatch(text, from);
    for (int seen = 0; it.hasNext(); ++seen) {
        if ((seen & 255) == 0 && *generation != mine)
            return false;
        const QRegularExpressionMatch match = it.next();
        if (match.capturedLength() > 0 && !visit(match))
            return true;
    }
    return true;
}

} // namespace

FindEngine::FindEngine(QTextDocument* document)
    : QObject(document)
    , m_document(document)
{
    connect(document, &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (removed == 0 && added == 0)
            return;
        m_isSnapshotCurrent = false;
        m_snapshot.clear();
    });
}

FindEngine::~FindEngine()
{
    ++*m_generation;
    ++*m_counting;
}

QString FindEngine::snapshot()
{
    if (!m_isSnapshotCurrent) {
        m_snapshot = MemoText::read(m_document, 0, m_document->characterCount() - 1);
        m_snapshot.replace(QChar::ParagraphSeparator, u'\n');
        m_isSnapshotCurrent = true;
    }
    return m_snapshot;
}

// Runs a job on a worker with the text, the expression and a fresh
// generation; the job hands its answer back through the engine it gets,
// unless a newer request came since.
template <typename Job> void FindEngine::run(const Generation& generation, Job job)
{
    const quint64 mine = ++*generation;
    QThreadPool::globalInstance()->start(
        [job, text = snapshot(), expression = m_expression, generation, mine,
            engine = QPointer<FindEngine>(this)] {
            const auto answer = [generation, mine, engine](auto deliver) {
                // Posted to the application, which outlives the engine.
                QMetaObject::invokeMethod(QCoreApplication::instance(), [generation, mine, engine, deliver] {
                    if (engine && *generation == mine)
                        deliver(engine.data());
                }, Qt::QueuedConnection);
            };
            job(text, expression, generation, mine, answer);
        });
}

bool FindEngine::setPattern(const QString& pattern, const FindOptions& options)
{
    m_pattern = pattern;
    m_options = options;
    m_expression = FindPattern::expressionOf(pattern, options);
    m_isValid = m_expression.isValid();
    ++*m_generation;
    ++*m_counting;
    if (!m_isValid) {
        emit failed(FindPattern::errorOf(m_expression));
        return false;
    }
    recount();
    return true;
}

void FindEngine::recount()
{
    if (m_pattern.isEmpty()) {
        emit counted(0);
        return;
    }
    run(m_counting, [](const QString& text, const QRegularExpression& expression, const Generation& generation, quint64 mine,
            auto answer) {
        int count = 0;
        if (forEachMatch(expression, text, 0, generation, mine, [&count](const auto&) { return ++count, true; }))
            answer([count](FindEngine* engine) { emit engine->counted(count); });
    });
}

void FindEngine::find(int position, bool isBackward)
{
    if (!isValid())
        return;
    run(m_generation, [position, isBackward](const QString& text, const QRegularExpression& expression,
            const Generation& generation, quint64 mine, auto answer) {
        int from = -1;
        int to = -1;
        bool isDone = false;
        if (!isBackward) {
            for (const int start : { position, 0 }) {
                isDone = forEachMatch(expression, text, start, generation, mine, [&](const QRegularExpressionMatch& m) {
                    from = int(m.capturedStart());
                    to = int(m.capturedEnd());
                    return false;
                });
                if (!isDone || from >= 0)
                    break;
            }
        } else {
            // The last match before the position, else the last of all.
            int lastFrom = -1;
            int lastTo = -1;
            isDone = forEachMatch(expression, text, 0, generation, mine, [&](const QRegularExpressionMatch& m) {
                if (m.capturedEnd() <= position) {
                    from = int(m.capturedStart());
                    to = int(m.capturedEnd());
                }
                lastFrom = int(m.capturedStart());
                lastTo = int(m.capturedEnd());
                return true;
            });
            if (from < 0) {
                from = lastFrom;
                to = lastTo;
            }
        }
        if (!isDone)
            return;
        answer([from, to](FindEngine* engine) {
            if (from >= 0)
                emit engine->found(from, to);
            else
                emit engine->notFound();
        });
    });
}

void FindEngine::replaceAll(const QString& replacement)
{
    if (!isValid())
        return;
    run(m_generation, [replacement, options = m_options](const QString& text, const QRegularExpression& expression,
            const Generation& generation, quint64 mine, auto answer) {
        QString replaced;
        int first = -1;
        int last = 0;
        int count = 0;
        bool isTooLong = false;
        const bool isDone = forEachMatch(expression, text, 0, generation, mine, [&](const QRegularExpressionMatch& m) {
            if (first < 0)
                first = last = int(m.capturedStart());
            replaced += QStringView(text).sliced(last, m.capturedStart() - last);
            replaced += FindPattern::replacementOf(replacement, m, options);
            last = int(m.capturedEnd());
            ++count;
            isTooLong = text.size() - (last - first) + replaced.size() > MaxTextLength;
            return !isTooLong;
        });
        if (!isDone)
            return;
        answer([first, last, replaced, count, isTooLong](FindEngine* engine) {
            if (isTooLong)
                emit engine->failed(QStringLiteral("Not replaced: the text would grow past %1 million characters.")
                                        .arg(MaxTextLength / (1024 * 1024)));
            else
                emit engine->replacementReady(std::max(0, first), first < 0 ? 0 : last, replaced, count);
        });
    });
}

bool FindEngine::isMatch(int from, int to, const QString& replacement, QString* replaced)
{
    if (!isValid() || to <= from)
        return false;
    // The match is tried with some text around it, for whole words and
    // look-arounds.
    constexpr int Context = 256;
    const int start = std::max(0, from - Context);
    QString text = MemoText::read(m_document, start, std::min(m_document->characterCount() - 1, to + Context));
    text.replace(QChar::ParagraphSeparator, u'\n');
    const QRegularExpressionMatch match
        = m_expression.match(text, from - start, QRegularExpression::NormalMatch,
            QRegularExpression::AnchorAtOffsetMatchOption);
    if (!match.hasMatch() || match.capturedEnd() != to - start)
        return false;
    if (replaced)
        *replaced = FindPattern::replacementOf(replacement, match, m_options);
    return true;
}
