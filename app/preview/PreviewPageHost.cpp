#include "app/preview/PreviewPageHost.h"

void PreviewPageHost::shown(int serial, double ms)
{
    emit pageShown(serial, ms);
}
