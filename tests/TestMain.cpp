#include "application/TApplication.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

// Every test binary runs on one application object, as the program does.
int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TestSupport_RegisterSchemes();
    TApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
