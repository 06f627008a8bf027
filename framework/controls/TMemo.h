#pragma once

#include "core/TEvent.h"

#include <QPlainTextEdit>

#include <functional>
#include <memory>

class TMemoStrings;

// The multi-line text editor. Its text is presented with CR LF line breaks
// whatever breaks it was given; OnChange runs synchronously inside every
// change of the text (typing, deleting, cutting, pasting, undo, assignment).
class TMemo : public QPlainTextEdit {
    Q_OBJECT
    Q_PROPERTY(TScrollStyle ScrollBars READ ScrollBars WRITE SetScrollBars)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool WantTabs READ WantTabs WRITE SetWantTabs)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)

public:
    enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
    Q_ENUM(TScrollStyle)

    explicit TMemo(QWidget* parent);
    ~TMemo() override;

    TMemoStrings* Lines() const { return m_lines.get(); }

    QString Text() const;
    void SetText(const QString& text);

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
    bool WantTabs() const { return !tabChangesFocus(); }
    void SetWantTabs(bool wantTabs) { setTabChangesFocus(!wantTabs); }
    // While true the selection is not drawn when the editor lacks the focus.
    bool HideSelection() const { return m_hideSelection; }
    void SetHideSelection(bool hideSelection);

    // False while the caret is in a line so long that redrawing it for the
    // blink would keep the processor busy.
    bool IsCaretBlinking() const;

    TNotifyEvent OnChange;
    // What a paste or a drop that holds no text inserts instead (the source
    // of a picture, say); empty for nothing.
    std::function<QString(const QMimeData*)> TextOfOtherData;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;

private:
    void change();
    void updateWrapping();
    void updateCaretBlinking();
    void updateSelectionPalette();
    void insertPastedText(const QString& text);

    std::unique_ptr<TMemoStrings> m_lines;
    TScrollStyle m_scrollBars = ssNone;
    bool m_wordWrap = true;
    bool m_hideSelection = true;
    bool m_isAssigningText = false;
    bool m_isCaretSteady = false;
    int m_flashTime = 0;
    bool m_isUpdatingPalette = false;
};
