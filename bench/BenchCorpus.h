#pragma once

#include <QList>
#include <QString>

// The formulas the benchmark typesets, in three size classes.
class BenchCorpus {
public:
    struct Entry {
        QString sizeClass;
        QString name;
        QString text;
        // A second version that looks different, so every refresh changes
        // what is painted.
        QString variant;
    };

    static QList<Entry> entries();
    static QStringList sizeClasses();

    // Typical display formulas, each a different one, as many as fill about
    // this many bytes when written one per line between $$ and $$.
    static QStringList displayFormulas(qsizetype bytes);
    // The formulas as the text of a document; the last of them, as many as
    // labels says, numbered equations with a label each, each followed by a
    // line of prose with two references.
    static QString document(const QStringList& formulas, int labels = 0);
};
