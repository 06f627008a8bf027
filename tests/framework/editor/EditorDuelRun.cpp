// The two editors of a duel, and the stock side's undo in our steps.
#include "framework/editor/EditorDuel.h"

#include "editor/MemoView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextDocument>

namespace EditorDuel {

namespace {

State stateOf(QTextDocument* document, const QTextCursor& cursor)
{
    return { document->toRawText(), cursor.anchor(), cursor.position() };
}

bool isKey(const Key& key, QKeySequence::StandardKey standard)
{
    QKeyEvent event(QEvent::KeyPress, key.key, key.modifiers);
    return key.text.isEmpty() && event.matches(standard);
}

void send(QWidget* widget, const Key& key)
{
    QKeyEvent press(QEvent::KeyPress, key.key, key.modifiers, key.text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key.key, key.modifiers, key.text);
    QApplication::sendEvent(widget, &release);
}

// The stock editor's undo, in the steps ours keeps: typing joins typing
// that goes on where it ended, deleting joins deleting, anything else is a
// step of its own, and a caret moved in between starts a new step. A step
// is undone to the text, caret and selection before it.
class StockUndo {
public:
    enum class Kind { None, Typing, Deleting, Other };

    void clear()
    {
        m_steps.clear();
        m_done = 0;
        m_open = Kind::None;
    }

    void record(Kind kind, const State& before, const State& after)
    {
        // A key that moved the caret ends the open step; one that did
        // nothing (Backspace at the start) leaves it open. A line break
        // typed over a selected line break changes no text but is a step.
        const bool wholeSelected = std::min(before.anchor, before.position) == 0
            && std::max(before.anchor, before.position) == before.text.size();
        if (kind == Kind::Other && wholeSelected && before.text == after.text)
            kind = Kind::None; // a paste of the text already held
        if (kind == Kind::None || before == after) {
            if (kind == Kind::None)
                m_open = Kind::None;
            return;
        }
        const bool selected = before.anchor != before.position;
        const bool joins = kind != Kind::Other && kind == m_open && !(kind == Kind::Typing && selected);
        if (joins) {
            m_steps[m_done - 1].second = after;
        } else {
            m_steps.resize(m_done);
            m_steps.append({ before, after });
            ++m_done;
        }
        m_open = kind == Kind::Other ? Kind::None : kind;
    }

    // Nothing to undo or redo leaves a step open.
    const State* undo()
    {
        if (m_done == 0)
            return nullptr;
        m_open = Kind::None;
        return &m_steps[--m_done].first;
    }

    const State* redo()
    {
        if (m_done == m_steps.size())
            return nullptr;
        m_open = Kind::None;
        return &m_steps[m_done++].second;
    }

private:
    QList<std::pair<State, State>> m_steps;
    qsizetype m_done = 0;
    Kind m_open = Kind::None;
};

StockUndo::Kind kindOf(const Key& key)
{
    if (!key.text.isEmpty() || key.key == Qt::Key_Return)
        return StockUndo::Kind::Typing;
    if (key.key == Qt::Key_Backspace || key.key == Qt::Key_Delete)
        return StockUndo::Kind::Deleting;
    if (isKey(key, QKeySequence::Cut) || isKey(key, QKeySequence::Paste))
        return StockUndo::Kind::Other;
    if (isKey(key, QKeySequence::Copy))
        return StockUndo::Kind::Other;
    return StockUndo::Kind::None;
}

void place(QPlainTextEdit* editor, const State& state)
{
    QTextCursor all(editor->document());
    all.select(QTextCursor::Document);
    all.insertText(state.text);
    QTextCursor cursor(editor->document());
    cursor.setPosition(state.anchor);
    cursor.setPosition(state.position, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
}

} // namespace

struct Duel::Impl {
    QWidget window;
    MemoView* ours;
    QPlainTextEdit* stock;
    StockUndo stockUndo;

    Impl()
        : ours(new MemoView(&window))
        , stock(new QPlainTextEdit(&window))
    {
        const QFont font(QStringLiteral("DejaVu Sans"), 10);
        for (QWidget* editor : { static_cast<QWidget*>(ours), static_cast<QWidget*>(stock) }) {
            editor->setFont(font);
            editor->resize(420, 300);
        }
        ours->SetWordWrap(false);
        ours->SetScrollBars(MemoView::ssBoth);
        stock->setLineWrapMode(QPlainTextEdit::NoWrap);
        stock->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        stock->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        stock->move(440, 0);
        window.resize(880, 320);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qWarning("The editors were not shown: the page keys may part them");
    }

    void sendStock(const Key& key)
    {
        const State before = stateOf(stock->document(), stock->textCursor());
        if (isKey(key, QKeySequence::Undo) || isKey(key, QKeySequence::Redo)) {
            if (const State* state = isKey(key, QKeySequence::Undo) ? stockUndo.undo() : stockUndo.redo())
                place(stock, *state);
            return;
        }
        send(stock, key);
        stockUndo.record(kindOf(key), before, stateOf(stock->document(), stock->textCursor()));
    }
};

Duel::Duel()
    : d(new Impl)
{
}

Duel::~Duel()
{
    delete d;
}

int Duel::run(const Case& run, State* ours, State* stock)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("clip \u03b1\U0001F642"));
    d->ours->setPlainText(run.text);
    d->stock->setPlainText(run.text);
    d->stockUndo.clear();
    QTextCursor caret(d->stock->document());
    caret.setPosition(run.caret);
    d->stock->setTextCursor(caret);
    d->ours->setTextCursor(QTextCursor(d->ours->document()));
    QTextCursor ourCaret = d->ours->textCursor();
    ourCaret.setPosition(run.caret);
    d->ours->setTextCursor(ourCaret);
    for (int i = 0; i < run.keys.size(); ++i) {
        send(d->ours, run.keys[i]);
        d->sendStock(run.keys[i]);
        *ours = stateOf(d->ours->document(), d->ours->textCursor());
        *stock = stateOf(d->stock->document(), d->stock->textCursor());
        if (*ours != *stock)
            return i;
    }
    return -1;
}

Case shrink(Duel& duel, Case failing)
{
    State ours;
    State stock;
    bool dropped = true;
    while (dropped) {
        dropped = false;
        for (int i = int(failing.keys.size()) - 1; i >= 0; --i) {
            if (i >= failing.keys.size())
                continue;
            Case shorter = failing;
            shorter.keys.remove(i);
            const int parted = duel.run(shorter, &ours, &stock);
            if (parted >= 0) {
                shorter.keys.resize(parted + 1);
                failing = shorter;
                dropped = true;
            }
        }
    }
    return failing;
}

} // namespace EditorDuel
