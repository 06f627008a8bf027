#pragma once

#include <QtGlobal>

// Memory of a process and all its descendants (the web engine's helper
// processes), as proportional set size, so shared pages count once overall.
class ProcessMemory {
public:
    static qint64 treePssKiB(qint64 pid);
    static int treeProcessCount(qint64 pid);
};
