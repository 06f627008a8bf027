#include "app/EditorText.h"

#include <QTextDocument>

#include <algorithm>

QString EditorText::of(const QTextDocument& document)
{
    QString text = document.toRawText();
    std::replace_if(text.begin(), text.end(),
        [](QChar c) { return c == QChar::ParagraphSeparator || c == QChar::LineSeparator; }, QLatin1Char('\n'));
    return text;
}

qsizetype EditorText::sharedPrefix(const QString& a, const QString& b)
{
    const qsizetype shorter = std::min(a.size(), b.size());
    return std::mismatch(a.cbegin(), a.cbegin() + shorter, b.cbegin()).first - a.cbegin();
}

qsizetype EditorText::carry(qsizetype place, const QString& from, const QString& to)
{
    place = std::clamp<qsizetype>(place, 0, from.size());
    const qsizetype head = sharedPrefix(from, to);
    if (place <= head)
        return place;
    const qsizetype room = std::min(from.size(), to.size()) - head;
    const qsizetype tail = std::mismatch(from.crbegin(), from.crbegin() + room, to.crbegin()).first - from.crbegin();
    return place >= from.size() - tail ? place + to.size() - from.size() : head;
}
