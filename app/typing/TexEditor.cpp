#include "app/typing/TexEditor.h"

#include "app/typing/AutoPairs.h"
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
{
    view->installEventFilter(this);
}

bool TexEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_view || event->type() != QEvent::KeyPress)
        return false;
    bool isTaken = false;
    guarded(this, [&] { isTaken = takeKey(static_cast<QKeyEvent*>(event)); });
    return isTaken;
}

bool TexEditor::takeKey(QKeyEvent* key)
{
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier && (key->key() == Qt::Key_F || key->key() == Qt::Key_H)) {
        m_findBar->open(key->key() == Qt::Key_H);
        return true;
    }
    return m_autoPairs->takeKey(key);
}
