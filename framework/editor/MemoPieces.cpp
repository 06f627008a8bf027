#include "editor/MemoPieces.h"

#include "editor/MemoText.h"

#include <QTextDocument>

#include <algorithm>

namespace {

quint64 nextId()
{
    static quint64 id = 0;
    return ++id;
}

// A cut should not part a character from its marks, a pair of surrogates or
// a joined sequence, and reads best after a space.
bool isInsideCharacter(QChar before, QChar after)
{
    return after.isLowSurrogate() || after.isMark() || after == QChar(0x200D) || before == QChar(0x200D)
        || (after.unicode() >= 0xFE00 && after.unicode() <= 0xFE0F);
}

int cutNear(const QTextDocument* document, int lineStart, int offset)
{
    constexpr int Look = 64;
    const QString around = MemoText::read(document, lineStart + offset - Look, lineStart + offset + 1);
    for (int i = int(around.size()) - 2; i >= 0; --i) {
        if (around[i] == u' ')
            return offset - Look + i + 1;
    }
    for (int i = int(around.size()) - 1; i > 0; --i) {
        if (!isInsideCharacter(around[i - 1], around[i]))
            return offset - Look + i;
    }
    return offset;
}

} // namespace

MemoPieces& MemoPieces::of(const QTextBlock& block)
{
    auto* pieces = static_cast<MemoPieces*>(block.userData());
    const int length = block.length() - 1;
    if (pieces && pieces->length == length)
        return *pieces;
    pieces = new MemoPieces;
    pieces->length = length;
    pieces->pieces = cut(block, 0, length);
    const_cast<QTextBlock&>(block).setUserData(pieces);
    return *pieces;
}

bool MemoPieces::followEdit(const QTextBlock& block, int from, int removed, int added)
{
    auto* self = static_cast<MemoPieces*>(block.userData());
    const int offset = from - block.position();
    const int length = block.length() - 1;
    if (!self || offset < 0 || offset + added > length || self->length + added - removed != length)
        return false;
    QList<MemoPiece>& list = self->pieces;
    const int first = self->indexOf(offset);
    const int last = removed > 0 ? self->indexOf(offset + removed - 1) : first;
    const int end = list[last].start + list[last].length - removed + added;
    const QList<MemoPiece> replacement = cut(block, list[first].start, end);
    const int shift = added - removed;
    for (int i = last + 1; i < list.size(); ++i)
        list[i].start += shift;
    list.remove(first, last - first + 1);
    for (int i = 0; i < replacement.size(); ++i)
        list.insert(first + i, replacement[i]);
    self->length = length;
    return true;
}

int MemoPieces::indexOf(int offset) const
{
    const auto after = std::upper_bound(pieces.cbegin(), pieces.cend(), offset,
        [](int value, const MemoPiece& piece) { return value < piece.start; });
    return std::max(0, int(after - pieces.cbegin()) - 1);
}

QList<MemoPiece> MemoPieces::cut(const QTextBlock& block, int from, int to)
{
    QList<MemoPiece> result;
    while (to - from > 2 * PieceLength) {
        const int at = cutNear(block.document(), block.position(), from + PieceLength);
        result.append({ from, at - from, nextId() });
        from = at;
    }
    result.append({ from, to - from, nextId() });
    return result;
}
