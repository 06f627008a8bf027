#pragma once

#include <QString>

#include <optional>

// The preview file's text as the page gets it: read anew from disk, decoded as
// UTF-8, cut to a bounded first part, and with a notice for the reader when
// the file cannot be shown or is not shown in full. Reading never throws.
class PreviewSource {
public:
    // The page typesets at most this many UTF-16 code units of a text. Text
    // dense with formulas first shows at about 170 000 characters a second
    // and later refreshes typeset only what changed, so this bounds the
    // first show of a huge text to about a second and a half of the page's
    // time (the editor is never blocked), while a long document of 100 KB
    // is shown whole.
    static constexpr qsizetype DefaultMaxChars = 250'000;

    static PreviewSource read(const QString& path, qsizetype maxChars = DefaultMaxChars);

    // The call that hands this text to the page: both strings as escaped
    // string literals, so the text stays data.
    QString script() const;
    // The call that hands this text to a page showing the given text: only
    // the part between what the two texts have in common at the start and
    // at the end travels, so a small edit of a long text costs little to
    // send. The page answers -1 when it shows another text.
    QString changeScript(const QString& shown) const;

    // Appends the text as a string literal of the page's script (and of
    // JSON), so any text stays data.
    static void appendLiteral(QString& script, QStringView text);
    // Each CR LF and lone CR becomes one LF, as the page counts line breaks.
    static void toLineFeeds(QString& text);

    QString text;
    QString notice;
    bool isTruncated = false;

private:
    // A middle this long in a text cut to its bounded length may be an edit
    // before the cut.
    static constexpr qsizetype LongMiddle = 256;
    // The largest edit, in characters added or taken away, whose moved cut
    // end is found.
    static constexpr qsizetype MaxShift = 16;

    // Where the text agrees with the shown one shifted by an edit's size:
    // the stretch of the text ending at last, agreeing characters long.
    struct MovedEnd {
        qsizetype shift;
        qsizetype last;
        qsizetype agreeing;
    };

    std::optional<MovedEnd> movedEnd(const QString& shown, qsizetype head, qsizetype middleSize) const;
    QString changeWithMovedEnd(const QString& shown, qsizetype head, const MovedEnd& moved) const;
};
