// The main routine of the micro-benchmarks that need the application object
// (and with it the web engine, which must be prepared before it exists).
#include "application/TApplication.h"
#include "app/preview/TWebBrowser.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    TWebBrowser::PrepareEngine();
    TApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
