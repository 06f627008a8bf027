#include "TestSupport.h"
#include "app/preview/TWebBrowser.h"

void TestSupport_RegisterSchemes()
{
    TWebBrowser::PrepareEngine();
}
