// The settings file's work at the two moments the user waits for it: the save
// in the close query and the restore when the window is shown, on a small file
// and on one that has grown to 1 MB of other lines.
#include "settings/ProfileFile.h"
#include "application/TApplication.h"
#include "settings/TFormStorage.h"
#include "app/TKelvaneMainForm.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString iniPath()
{
    return folder().filePath(QStringLiteral("tamsel.ini"));
}

TKelvaneMainForm* mainForm()
{
    if (!KelvaneMainForm) {
        QGuiApplication::clipboard()->clear();
        Application->SetExeName(folder().filePath(QStringLiteral("tamsel")));
        Application->CreateForm(KelvaneMainForm);
        KelvaneMainForm->show();
    }
    return KelvaneMainForm;
}

// A settings file of the given size: other programs' lines first, then the
// window's own section as a save leaves it.
void prepareFile(qsizetype size)
{
    QByteArray bytes = "[Other]\r\n";
    while (bytes.size() < size)
        bytes += "key" + QByteArray::number(bytes.size()) + "=a value of some length\r\n";
    QFile file(iniPath());
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    mainForm()->FormStorage1->SaveFormPlacement();
}

void SaveAtClose(benchmark::State& state)
{
    prepareFile(state.range(0));
    for (auto _ : state)
        mainForm()->FormStorage1->SaveFormPlacement();
}
BENCHMARK(SaveAtClose)->Arg(0)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);

void RestoreAtShow(benchmark::State& state)
{
    prepareFile(state.range(0));
    for (auto _ : state)
        mainForm()->FormStorage1->RestoreFormPlacement();
}
BENCHMARK(RestoreAtShow)->Arg(0)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);

void WriteOneValue(benchmark::State& state)
{
    prepareFile(state.range(0));
    int i = 0;
    for (auto _ : state)
        ProfileFile::WriteString(iniPath(), QStringLiteral("TKelvaneMainForm"), QStringLiteral("Timer1_Interval"), QString::number(++i));
}
BENCHMARK(WriteOneValue)->Arg(0)->Arg(1024 * 1024)->Unit(benchmark::kMicrosecond);

void ReadOneValue(benchmark::State& state)
{
    prepareFile(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(ProfileFile::ReadString(iniPath(), QStringLiteral("TKelvaneMainForm"), QStringLiteral("Timer1_Interval"), {}));
}
BENCHMARK(ReadOneValue)->Arg(0)->Arg(1024 * 1024)->Unit(benchmark::kMicrosecond);

} // namespace
