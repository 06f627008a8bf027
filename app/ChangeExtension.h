#pragma once

#include <QString>

// The path with its extension replaced by the given one (which carries its own
// dot): the folder part, then the name without its extension, then the new
// extension. A dot in a folder name is never taken for an extension, and a
// name without an extension gets the new one appended.
QString ChangeExtension(const QString& path, const QString& extension);
