#pragma once

#include <QString>

class TProject;

// The about box's text: the first line names the title, version and build,
// then come the copyright notice, the comment, an empty line and the
// trademark notice. Lines end in a single line feed; none follows the last.
QString AboutText(const QString& title, const TProject& project);
