#pragma once

#include "app/typing/TexToken.h"

#include <QTextCharFormat>

class QPalette;

// The colour of each kind of TeX token, taken from the desktop's palette so
// it reads on the editor's background in light and dark schemes alike.
namespace TexColours {

// The format of a kind; prose has none and keeps the text colour.
QTextCharFormat formatOf(TexTokenKind kind, const QPalette& palette);

// The contrast of two colours, from 1 (none) to 21.
qreal contrast(const QColor& a, const QColor& b);

} // namespace TexColours
