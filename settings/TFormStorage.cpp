#include "TFormStorage.h"

TFormStorage::TFormStorage(QObject* owner)
    : TComponent(owner)
{
}
