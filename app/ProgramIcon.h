#pragma once

#include <QIcon>

// The program's icon: a 32 by 32 picture of a typeset square, drawn in code
// so that no image file has to be shipped.
QIcon ProgramIcon();
