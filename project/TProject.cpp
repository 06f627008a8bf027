#include "TProject.h"

TProject::TProject(QObject* owner)
    : TComponent(owner)
{
}
