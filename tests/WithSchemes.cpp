#include "TestSupport.h"
#include "TWebBrowser.h"

void TestSupport_RegisterSchemes()
{
    TWebBrowser::PrepareEngine();
}
