#include "ProcessMemory.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>

namespace {

QMap<qint64, QList<qint64>> childrenByParent()
{
    QMap<qint64, QList<qint64>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // The command name may hold spaces and parentheses; the fields after
        // its closing parenthesis are plain.
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1)
            children[fields.at(1).toLongLong()].append(pid);
    }
    return children;
}

QList<qint64> tree(qint64 root)
{
    const QMap<qint64, QList<qint64>> children = childrenByParent();
    QList<qint64> all { root };
    for (qsizetype i = 0; i < all.size(); ++i)
        all += children.value(all.at(i));
    return all;
}

qint64 pssKiB(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

qint64 ProcessMemory::treePssKiB(qint64 pid)
{
    qint64 total = 0;
    for (qint64 p : tree(pid))
        total += pssKiB(p);
    return total;
}

int ProcessMemory::treeProcessCount(qint64 pid)
{
    return int(tree(pid).size());
}
