#include "app/typing/TexEditor.h"

#include "app/typing/AutoPairs.h"
#include "app/typing/CompletionList.h"
#include "app/typing/FindBar.h"
#include "app/typing/PairMarks.h"
#include "app/typing/TexColouring.h"
#include "app/typing/TexSource.h"
#include "core/ExceptionBoundary.h"
#include "editor/MemoView.h"

#include <QKeyEvent>

TexEditor::TexEditor(MemoView* view)
    : QObject(view)
    , m_view(view)
    , m_source(new TexSource(view->document()))
    , m_colouring(new TexColouring(view, m_source))
    , m_pairs(new PairMarks(view, m_source))
    , m_findBar(new FindBar(view))
    , m_autoPairs(new AutoPairs(view))
    , m_completion(new CompletionList(view))
{
    view->installEventFilter(this);
    connect(view, &MemoView::textChanged, this, [this] {
        if (m_isKeyTyped)
            guarded(this, [this] { m_completion->update(true); });
    });
    connect(view, &MemoView::cursorPositionChanged, this, [this] {
        if (!m_isKeyTyped)
            guarded(this, [this] { m_completion->update(false); });
    });
}

void TexEditor::setMacrosText(const QString& text)
{
    m_completion->setMacrosText(text);
}

bool TexEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::FocusOut)
        m_completion->hide();
    if (watched != m_view || event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    bool isTaken = false;
    guarded(this, [&] { isTaken = takeKey(key); });
    if (isTaken)
        return true;
    // The list follows what the key types, once the editor has it.
    m_isKeyTyped = !key->text().isEmpty() && key->text().at(0).isPrint();
    QMetaObject::invokeMethod(this, [this] { m_isKeyTyped = false; }, Qt::QueuedConnection);
    return false;
}

bool TexEditor::takeKey(QKeyEvent* key)
{
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier && (key->key() == Qt::Key_F || key->key() == Qt::Key_H)) {
        m_findBar->open(key->key() == Qt::Key_H);
        return true;
    }
    return m_completion->takeKey(key) || m_autoPairs->takeKey(key);
}
