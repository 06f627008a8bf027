#pragma once

#include <QAccessibleWidget>

#include <memory>

class QTextDocument;
class MemoView;

// What screen readers and other assistive tools see of the editor: an
// editable text they can read by ranges, whose caret and selection they can
// follow and place, and which they can edit the way a user does (undo and
// OnChange included). The editor lays its text out itself, so every answer
// here reads only the stretch asked for; a query about one word of a line of
// ten million characters costs what it costs in a short line.
class MemoAccessible : public QAccessibleWidget,
                       public QAccessibleTextInterface,
                       public QAccessibleEditableTextInterface {
public:
    explicit MemoAccessible(MemoView* memo);
    ~MemoAccessible() override;

    // Makes every editor known to assistive tools; once is enough. Nothing
    // is made for an editor until a tool asks about it.
    static void install();
    // Whether a tool listens to the editor's changes, and how it is told of
    // them: through the toolkit's bridge to the tools, or a test's stand-in.
    static inline bool (*toolsListen)() = &QAccessible::isActive;
    static inline void (*tell)(QAccessibleEvent* event) = &QAccessible::updateAccessibility;

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text kind) const override;

    // Selection and caret.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;

    // The text, by ranges and by boundaries.
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
        int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
        int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
        int* endOffset) const override;
    int characterCount() const override;

    // Where the text is on the screen.
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // Editing, through the editor.
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    // Tells the tools of the editor's changes, caret moves and selections.
    void followEditor();
    MemoView* memo() const;
    QTextDocument* document() const;
    void select(int anchor, int position);
    // The row (a document line, or a wrapped row when lines wrap) a step of
    // rows away from the one holding the offset.
    QString row(int offset, int step, int* startOffset, int* endOffset) const;
    // The document line a step of lines away from the one holding the offset.
    QString paragraph(int offset, int step, int* startOffset, int* endOffset) const;
    // The characters, words or sentences around an offset, found in a
    // stretch of text around it. kind is -1, 0 or 1 for before, at, after.
    QString nearby(int kind, int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
        int* endOffset) const;
    QString around(int kind, int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
        int* endOffset) const;

    // The connections to the editor live as long as this interface.
    std::unique_ptr<QObject> m_follower;
};
