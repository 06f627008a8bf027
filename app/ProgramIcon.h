#pragma once

#include <QIcon>

// The program's icon in the sizes the icon theme installs (desktop/icons), so
// the title bar and the task bar get a sharp picture at any scale.
QIcon ProgramIcon();
