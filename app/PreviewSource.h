#pragma once

#include <QString>

// The preview file's text as the page gets it: read anew from disk, decoded as
// UTF-8, cut to a bounded first part, and with a notice for the reader when
// the file cannot be shown or is not shown in full. Reading never throws.
class PreviewSource {
public:
    // The page typesets at most this many UTF-16 code units of a text; a
    // larger one would keep the typesetter busy for seconds on every refresh.
    static constexpr qsizetype DefaultMaxChars = 200'000;

    static PreviewSource read(const QString& path, qsizetype maxChars = DefaultMaxChars);

    // The call that hands this text to the page: both strings as escaped
    // string literals, so the text stays data.
    QString script() const;

    QString text;
    QString notice;
    bool isTruncated = false;
};
