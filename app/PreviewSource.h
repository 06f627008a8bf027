#pragma once

#include <QString>

// The preview file's text as the page gets it: read anew from disk, decoded as
// UTF-8, cut to a bounded first part, and with a notice for the reader when
// the file cannot be shown or is not shown in full. Reading never throws.
class PreviewSource {
public:
    // The page typesets at most this many UTF-16 code units of a text. Text
    // dense with formulas typesets at about 50 000 characters a second, so
    // this bounds a refresh of a huge text to about two seconds of the page's
    // time (the editor is never blocked), and it is still far more than the
    // pane can show at once.
    static constexpr qsizetype DefaultMaxChars = 100'000;

    static PreviewSource read(const QString& path, qsizetype maxChars = DefaultMaxChars);

    // The call that hands this text to the page: both strings as escaped
    // string literals, so the text stays data.
    QString script() const;

    QString text;
    QString notice;
    bool isTruncated = false;
};
