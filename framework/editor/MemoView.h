#pragma once

#include "core/TEvent.h"
#include "editor/MemoLayout.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QTextCursor>
#include <QMap>
#include <QTextEdit>

#include <functional>
#include <memory>
#include <optional>

class MemoUndo;
class QMenu;
class QMimeData;
class QTextDocument;

// The editor view under the memo component. OnChange runs synchronously
// inside every change of the text (typing, deleting, cutting, pasting, undo,
// assignment).
//
// It draws its text itself (MemoLayout), so that a key in a line of many
// megabytes costs what a key in a short line costs. The document, the caret
// and the view are reached by the names the toolkit's own editors use.
class MemoView : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(TScrollStyle ScrollBars READ ScrollBars WRITE SetScrollBars)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool WantTabs READ WantTabs WRITE SetWantTabs)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)

public:
    enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
    Q_ENUM(TScrollStyle)

    explicit MemoView(QWidget* parent);
    ~MemoView() override;

    void SelectAll();
    void CopyToClipboard();
    void PasteFromClipboard();
    // The clipboard's plain text as a paste would insert it; empty when it
    // holds none or its owner does not hand it over within a second or two.
    static QString ClipboardText();

    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void SetScrollBars(TScrollStyle scrollBars);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool wordWrap);
    bool WantTabs() const { return m_wantTabs; }
    void SetWantTabs(bool wantTabs) { m_wantTabs = wantTabs; }
    // While true the selection is not drawn when the editor lacks the focus.
    bool HideSelection() const { return m_hideSelection; }
    void SetHideSelection(bool hideSelection);

    // Whether the caret blinks while the editor has the focus.
    bool IsCaretBlinking() const;

    // The most characters the text holds: an edit that would make it longer
    // (a paste of 100 MB, say) is refused whole with EOutOfResources, and
    // the text, the caret and the undo history stay as they were. The
    // bound leaves room for lines of many megabytes and keeps a paste's
    // copies (the clipboard's, the document's, the listeners') within about
    // a gigabyte.
    static constexpr qsizetype DefaultCharacterBound = qsizetype(64) << 20;
    qsizetype CharacterBound() const { return m_characterBound; }
    void SetCharacterBound(qsizetype bound) { m_characterBound = bound; }

    TNotifyEvent OnChange;
    // What a paste or a drop that holds no text inserts instead (the source
    // of a picture, say); empty for nothing.
    std::function<QString(const QMimeData*)> TextOfOtherData;

    // The document, the caret and the view.
    QTextDocument* document() const { return m_document; }
    QTextCursor textCursor() const { return m_cursor; }
    void setTextCursor(const QTextCursor& cursor);
    void moveCursor(QTextCursor::MoveOperation operation, QTextCursor::MoveMode mode = QTextCursor::MoveAnchor);
    // The caret position nearest to a point of the viewport.
    QTextCursor cursorForPosition(const QPoint& point) const;
    // Where a cursor's caret is drawn, in viewport coordinates.
    QRect cursorRect(const QTextCursor& cursor) const;
    QRect cursorRect() const { return cursorRect(m_cursor); }
    // Colours the text by stretches (see MemoLayout); none for one colour.
    void setColouring(MemoLayout::Colouring colouring);
    void setExtraSelections(const QList<QTextEdit::ExtraSelection>& selections);
    QList<QTextEdit::ExtraSelection> extraSelections() const { return m_extraSelections; }
    // Marks of their own beside the extra selections, one list per name
    // (a matching brace, the matches of a search), drawn over them.
    void setMarks(const QString& name, const QList<QTextEdit::ExtraSelection>& marks);
    void ensureCursorVisible();
    void centerCursor();
    QString toPlainText() const;
    void setPlainText(const QString& text);
    void insertPlainText(const QString& text);
    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    QMenu* createStandardContextMenu();
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // While the document reports an edit made by the editor: the text it
    // removed, when that was the given stretch; otherwise nothing.
    std::optional<QString> removedText(int position, int length) const;
    // The text composed by the input method and not yet committed.
    QString composition() const { return m_composition.text; }

public slots:
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void selectAll();

signals:
    void textChanged();
    void cursorPositionChanged();
    void selectionChanged();
    // Part of the viewport is to be drawn again; dy is the rows' shift in
    // pixels when the view scrolled up or down.
    void updateRequest(const QRect& rect, int dy);
    void undoAvailable(bool available);
    void redoAvailable(bool available);
    void copyAvailable(bool available);

protected:
    // Replaces the whole text as an assignment: no OnChange, no undo step.
    void assignText(const QString& lines);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    friend class MemoAccessible;

    // Editing: every change of the text made here goes through replace.
    enum class EditKind { Typing, Deleting, Other };
    void replace(int from, int to, const QString& text, EditKind kind = EditKind::Other);
    void changeText(int from, const QString& removed, const QString& text);
    void removeSelection(EditKind kind);
    QString selectedText() const;
    void setCaret(int position, QTextCursor::MoveMode mode = QTextCursor::MoveAnchor, bool keepColumn = false);
    void insertPastedText(const QString& text);
    QString textOf(const QMimeData* data) const;

    // Keys and the mouse (MemoViewKeys.cpp, MemoViewMouse.cpp).
    bool handleMove(QKeyEvent* event);
    bool handleEdit(QKeyEvent* event);
    bool isEditorShortcut(QKeyEvent* event) const;
    int positionAt(const QPoint& point) const;
    int rowStep(int rows);
    void movePage(bool down, QTextCursor::MoveMode mode);
    void dragSelection();
    bool isTripleClick();
    void selectLineAt(int position);

    // The view.
    QPointF origin() const;
    int visibleRows() const;
    void updateExtent();
    void updateWrapping();
    void updateCaret();
    void updateSelectionPalette();
    void onContentsChanged();
    void onCaretMoved(int oldPosition, int oldAnchor);
    void autoScroll();

    // The text an edit of the editor's own removes, while the document
    // reports the edit (the document no longer has it then).
    struct Removal {
        int position = -1;
        QString text;
    };
    Removal m_removal;
    QTextDocument* m_document;
    MemoLayout* m_layout;
    QTextCursor m_cursor;
    std::unique_ptr<MemoUndo> m_undo;
    QList<QTextEdit::ExtraSelection> m_extraSelections;
    QMap<QString, QList<QTextEdit::ExtraSelection>> m_marks;
    MemoLayout::Composition m_composition;
    TScrollStyle m_scrollBars = ssNone;
    bool m_wordWrap = true;
    bool m_wantTabs = false;
    bool m_hideSelection = true;
    bool m_readOnly = false;
    bool m_isAssigningText = false;
    bool m_isEditing = false;
    bool m_isUpdatingPalette = false;
    bool m_caretShown = true;
    qreal m_goalX = -1;
    // The caret's height on the screen through a run of page keys; -1 when
    // the caret moved otherwise since.
    int m_pageHeight = -1;
    qsizetype m_characterBound = DefaultCharacterBound;
    QBasicTimer m_blink;
    QBasicTimer m_scrollTimer;
    // The mouse: a selection being dragged out, or a drag of the selection about to start.
    bool m_isSelecting = false;
    bool m_mayDragSelection = false;
    QPoint m_pressPoint;
    QPoint m_mousePoint;
    int m_dropCaret = -1;
    bool m_selectsWords = false;
    std::pair<int, int> m_pressedWord;
    // A press soon after a double click at the same place selects the line.
    QElapsedTimer m_sinceDoubleClick;
    QPoint m_doubleClickPoint;
};
