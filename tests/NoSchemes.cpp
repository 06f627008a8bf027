#include "TestSupport.h"

// Binaries without the preview pane have no schemes to register.
void TestSupport_RegisterSchemes()
{
}
