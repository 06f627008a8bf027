#include "controls/TMemo.h"

#include "controls/TMemoStrings.h"
#include "core/ExceptionBoundary.h"
#include "editor/MemoText.h"

#include <QTextDocument>

TMemo::TMemo(QWidget* parent)
    : MemoView(parent)
    , m_lines(std::make_unique<TMemoStrings>(document()))
{
}

TMemo::~TMemo() = default;

QString TMemo::Text() const
{
    return m_lines->Text();
}

// A separator left inside a line would make the line store and the text
// disagree about the lines, so every break that comes in is one LF, which
// the document turns into a line of its own.
void TMemo::SetText(const QString& text)
{
    const QString lines = MemoText::withLineFeeds(text);
    if (QString(lines).replace(u'\n', QStringLiteral("\r\n")) == Text())
        return;
    assignText(lines);
    guarded(this, [this] { OnChange(this); });
}
