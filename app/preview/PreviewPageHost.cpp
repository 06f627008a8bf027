#include "app/preview/PreviewPageHost.h"

void PreviewPageHost::shown(int serial, double ms)
{
    emit pageShown(serial, ms);
}

void PreviewPageHost::errorsShown(int serial, const QVariantList& errors)
{
    emit pageErrorsShown(serial, errors);
}

void PreviewPageHost::formulaActivated(int place)
{
    emit pageFormulaActivated(place);
}
