// The C++ side of a refresh: reading the preview file and packaging its text
// as the call to the page.

#include "app/preview/PreviewSource.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

void readAndPackage(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("preview.tex"));
    const QByteArray unit = "Sum $\\sum_{k=1}^{n} k = \\frac{n(n+1)}{2}$ and text. ";
    QByteArray text;
    while (text.size() < state.range(0))
        text += unit;
    text.truncate(state.range(0));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    file.close();
    for (auto _ : state) {
        const PreviewSource source = PreviewSource::read(path);
        QString script = source.script();
        benchmark::DoNotOptimize(script);
    }
    state.SetBytesProcessed(state.iterations() * std::min<int64_t>(state.range(0), PreviewSource::DefaultMaxChars));
}

} // namespace

BENCHMARK(readAndPackage)->Arg(16)->Arg(100)->Arg(5 * 1024)->Arg(200 * 1024)->Arg(10 * 1024 * 1024)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
