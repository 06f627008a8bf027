#pragma once

#include <QObject>

class QKeyEvent;
class TMemo;
class TWebBrowser;

// Keeps the editor and the preview in step. After each refresh, and when the
// caret moves in a text the preview shows as it is, the preview keeps the
// formula at the caret in view. A double click on a formula in the preview
// puts the caret at the start of its source and gives the editor the focus;
// so does a key typed while the preview has the focus, which then reaches
// the editor as if typed there.
class EditorPreviewLink : public QObject {
    Q_OBJECT

public:
    EditorPreviewLink(TMemo* editor, TWebBrowser* preview);

    // The editor's text was just handed to the preview.
    void refreshed();
    // The same in two steps, for a text that reaches the preview later: the
    // editor's text was taken for it, and the preview was just given it. The
    // preview follows the caret only when the text was not edited between.
    void handedOver();
    void shown();

private:
    void onCaretMoved();
    void onFormulaActivated(qsizetype place);
    void onTyped(const QKeyEvent& key);

    TMemo* m_editor;
    TWebBrowser* m_preview;
    // Whether the text was edited since the preview was given it, so the
    // caret's place is not yet a place of the preview's text.
    bool m_isEdited = true;
    // Whether the text was edited since it was last taken for the preview.
    bool m_isEditedSinceHandOver = true;
};
