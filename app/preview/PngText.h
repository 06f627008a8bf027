#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A text chunk of a PNG, written and read byte for byte. The toolkit's image
// writer and reader both turn a text's line breaks into spaces and drop
// control characters, which changes a TeX (a comment then swallows the lines
// after it); here the text goes in as an uncompressed international text
// chunk holding its UTF-8 exactly.
namespace PngText {

// The PNG with the text added under the keyword, before its end; the PNG as
// it was when it is not one.
QByteArray withText(const QByteArray& png, const QByteArray& keyword, const QString& text);

// The text of the first uncompressed text chunk with the keyword; none when
// there is none (a compressed chunk is left to the toolkit's reader) or the
// data is no well-formed PNG.
std::optional<QString> text(const QByteArray& png, const QByteArray& keyword);

} // namespace PngText
