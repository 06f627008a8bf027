#include "app/EditorPreviewLink.h"

#include "app/EditorText.h"
#include "app/preview/TWebBrowser.h"
#include "editor/MemoText.h"
#include "controls/TMemo.h"
#include "core/ExceptionBoundary.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTextBlock>

EditorPreviewLink::EditorPreviewLink(TMemo* editor, TWebBrowser* preview)
    : QObject(editor)
    , m_editor(editor)
    , m_preview(preview)
{
    connect(editor->document(), &QTextDocument::contentsChange, this, [this] {
        m_isEdited = true;
        m_isEditedSinceHandOver = true;
    });
    connect(editor, &TMemo::cursorPositionChanged, this, [this] { guarded(this, [this] { onCaretMoved(); }); });
    connect(preview, &TWebBrowser::formulaActivated, this,
        [this](qsizetype place) { guarded(this, [&] { onFormulaActivated(place); }); });
    connect(preview, &TWebBrowser::typed, this, [this](const QKeyEvent& key) { guarded(this, [&] { onTyped(key); }); });
}

void EditorPreviewLink::refreshed()
{
    handedOver();
    shown();
}

// Until the preview has the text, the caret's place is still not one of the
// text the preview shows.
void EditorPreviewLink::handedOver()
{
    m_isEditedSinceHandOver = false;
}

void EditorPreviewLink::shown()
{
    if (m_isEditedSinceHandOver)
        return;
    m_isEdited = false;
    m_preview->FollowCaret(m_editor->textCursor().position());
}

// While the text is edited, the caret follows the next refresh instead.
void EditorPreviewLink::onCaretMoved()
{
    if (!m_isEdited)
        m_preview->FollowCaret(m_editor->textCursor().position());
}

void EditorPreviewLink::onFormulaActivated(qsizetype place)
{
    const QString text = EditorText::of(*m_editor->document());
    const int position = int(EditorText::carry(place, m_preview->shownText(), text));
    m_editor->setTextCursor(MemoText::cursor(m_editor->document(), position, position));
    m_editor->centerCursor();
    m_editor->setFocus(Qt::OtherFocusReason);
}

void EditorPreviewLink::onTyped(const QKeyEvent& key)
{
    m_editor->setFocus(Qt::OtherFocusReason);
    QKeyEvent copy(key.type(), key.key(), key.modifiers(), key.nativeScanCode(), key.nativeVirtualKey(),
        key.nativeModifiers(), key.text(), key.isAutoRepeat(), ushort(key.count()));
    QCoreApplication::sendEvent(m_editor, &copy);
}
