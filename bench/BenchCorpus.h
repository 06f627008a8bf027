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
};
