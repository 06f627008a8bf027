#include "controls/TMemo.h"

#include "platform/ClipboardReader.h"
#include "core/ExceptionBoundary.h"
#include "controls/TMemoStrings.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace {

// The toolkit lays out and draws a line as a whole, and a blinking caret
// redraws its line twice a second: in a line of a few megabytes that keeps a
// core busy for as long as the window is shown. In a line this long the caret
// stays lit instead.
constexpr int SteadyCaretLineLength = 20000;

// The toolkit throws a line's shaped glyphs away as soon as it has laid the
// line out, and shapes the whole line again for every caret position it
// measures and every time it draws the line or the caret: a key in a long
// line shapes it half a dozen times. The layouts of long lines keep their
// glyphs, so a key shapes the line once.
void keepGlyphsOfLongLines(const QTextDocument* document, int from, int charsAdded)
{
    const QTextBlock last = document->findBlock(from + charsAdded);
    for (QTextBlock block = document->findBlock(from); block.isValid(); block = block.next()) {
        if (block.length() > SteadyCaretLineLength)
            block.layout()->setCacheEnabled(true);
        if (block == last)
            break;
    }
}

// Every kind of line break that may come in (CR LF, lone CR, the Unicode line
// and paragraph separators) becomes one LF, which the document turns into a
// line of its own; a separator left inside a line would make the line store
// and the text disagree about the lines.
QString withLineFeeds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

} // namespace

TMemo::TMemo(QWidget* parent)
    : QPlainTextEdit(parent)
    , m_lines(std::make_unique<TMemoStrings>(document()))
{
    resize(185, 89);
    setTabChangesFocus(true);
    updateSelectionPalette();
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_isAssigningText)
            change();
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, &TMemo::updateCaretBlinking);
    connect(document(), &QTextDocument::contentsChange, this,
        [this](int from, int, int charsAdded) { keepGlyphsOfLongLines(document(), from, charsAdded); });
    updateWrapping();
}

bool TMemo::IsCaretBlinking() const
{
    return !m_isCaretSteady;
}

// The blink follows the application's flash time; the editor takes a change
// of it into account when its text interaction is set again.
void TMemo::updateCaretBlinking()
{
    const bool steady = textCursor().block().length() > SteadyCaretLineLength;
    if (steady == m_isCaretSteady)
        return;
    m_isCaretSteady = steady;
    if (steady) {
        m_flashTime = QApplication::cursorFlashTime();
        QApplication::setCursorFlashTime(0);
    } else {
        QApplication::setCursorFlashTime(m_flashTime);
    }
    const Qt::TextInteractionFlags flags = textInteractionFlags();
    setTextInteractionFlags(Qt::NoTextInteraction);
    setTextInteractionFlags(flags);
}

TMemo::~TMemo()
{
    if (m_isCaretSteady)
        QApplication::setCursorFlashTime(m_flashTime);
}

void TMemo::change()
{
    guarded(this, [this] { OnChange(this); });
}

QString TMemo::Text() const
{
    return m_lines->Text();
}

void TMemo::SetText(const QString& text)
{
    const QString lines = withLineFeeds(text);
    if (QString(lines).replace(u'\n', QStringLiteral("\r\n")) == Text())
        return;
    m_isAssigningText = true;
    setPlainText(lines);
    m_isAssigningText = false;
    change();
}

void TMemo::SelectAll()
{
    selectAll();
}

void TMemo::CopyToClipboard()
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    // The clipboard of this platform carries LF line breaks.
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    QGuiApplication::clipboard()->setText(text);
}

QString TMemo::ClipboardText()
{
    return ClipboardReader::text().value_or(QString());
}

void TMemo::PasteFromClipboard()
{
    QString text = ClipboardText();
    if (text.isEmpty() && TextOfOtherData)
        text = TextOfOtherData(QGuiApplication::clipboard()->mimeData());
    if (!text.isEmpty())
        insertPastedText(text);
}

// The editor's own paste (Ctrl+V, the context menu) and drops come here.
void TMemo::insertFromMimeData(const QMimeData* source)
{
    if (source && source->hasText() && !source->text().isEmpty())
        insertPastedText(source->text());
    else if (source && TextOfOtherData && !TextOfOtherData(source).isEmpty())
        insertPastedText(TextOfOtherData(source));
}

bool TMemo::canInsertFromMimeData(const QMimeData* source) const
{
    return QPlainTextEdit::canInsertFromMimeData(source) || (source && TextOfOtherData && !TextOfOtherData(source).isEmpty());
}

void TMemo::insertPastedText(const QString& text)
{
    QTextCursor cursor = textCursor();
    cursor.insertText(withLineFeeds(text));
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TMemo::SetHideSelection(bool hideSelection)
{
    if (hideSelection == m_hideSelection)
        return;
    m_hideSelection = hideSelection;
    updateSelectionPalette();
}

// The editor draws its selection with the inactive colours while it lacks the
// focus; hiding the selection makes those colours the ordinary text colours.
void TMemo::updateSelectionPalette()
{
    const QPalette inherited = parentWidget() ? parentWidget()->palette() : QGuiApplication::palette();
    QPalette colours = palette();
    const QPalette& source = m_hideSelection ? colours : inherited;
    const QBrush highlight = source.brush(QPalette::Inactive, m_hideSelection ? QPalette::Base : QPalette::Highlight);
    const QBrush highlightedText = source.brush(QPalette::Inactive, m_hideSelection ? QPalette::Text : QPalette::HighlightedText);
    colours.setBrush(QPalette::Inactive, QPalette::Highlight, highlight);
    colours.setBrush(QPalette::Inactive, QPalette::HighlightedText, highlightedText);
    m_isUpdatingPalette = true;
    setPalette(colours);
    m_isUpdatingPalette = false;
}

void TMemo::changeEvent(QEvent* event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_isUpdatingPalette)
        updateSelectionPalette();
}

void TMemo::SetScrollBars(TScrollStyle scrollBars)
{
    if (scrollBars == m_scrollBars)
        return;
    m_scrollBars = scrollBars;
    updateWrapping();
}

void TMemo::SetWordWrap(bool wordWrap)
{
    if (wordWrap == m_wordWrap)
        return;
    m_wordWrap = wordWrap;
    updateWrapping();
}

// With a horizontal scroll bar long lines scroll sideways instead of wrapping.
void TMemo::updateWrapping()
{
    const bool horizontal = m_scrollBars == ssHorizontal || m_scrollBars == ssBoth;
    const bool vertical = m_scrollBars == ssVertical || m_scrollBars == ssBoth;
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setLineWrapMode(m_wordWrap && !horizontal ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::keyPressEvent(QKeyEvent* event)
{
    // The paste key goes through the bounded read of the clipboard too.
    if (event->matches(QKeySequence::Paste) && !isReadOnly()) {
        PasteFromClipboard();
        event->accept();
        return;
    }
    // Shift+Enter would insert a soft line separator; every break here is a
    // plain line break.
    const bool isEnter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isEnter && event->modifiers().testFlag(Qt::ShiftModifier)) {
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
            event->text(), event->isAutoRepeat(), ushort(event->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}
