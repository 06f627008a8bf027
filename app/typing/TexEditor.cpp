#include "app/typing/TexEditor.h"

#include "app/typing/PairMarks.h"
#include "app/typing/TexColouring.h"
#include "app/typing/TexSource.h"
#include "editor/MemoView.h"

TexEditor::TexEditor(MemoView* view)
    : QObject(view)
    , m_source(new TexSource(view->document()))
    , m_colouring(new TexColouring(view, m_source))
    , m_pairs(new PairMarks(view, m_source))
{
}
