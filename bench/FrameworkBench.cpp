// The refresh cycle's own work, without the typesetter: the debounce restart
// on every edit, the preview file write, the editor's text with CR LF breaks,
// and the menu's shortcut matching on every key press.
#include "TApplication.h"
#include "TKelvaneMainForm.h"
#include "TMainMenu.h"
#include "TMemo.h"
#include "TMemoStrings.h"
#include "TTimer.h"
#include "TWebBrowser.h"

#include <QGuiApplication>
#include <QClipboard>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QString textOfSize(qsizetype size)
{
    const QString line = QStringLiteral("\\frac{-b \\pm \\sqrt{b^2-4ac}}{2a} + \\int_0^1 x^2\\,dx\n");
    QString text;
    while (text.size() < size)
        text += line;
    return text.left(size);
}

TKelvaneMainForm* mainForm()
{
    static QTemporaryDir dir;
    if (!KelvaneMainForm) {
        QGuiApplication::clipboard()->clear();
        Application->SetExeName(dir.filePath(QStringLiteral("tamsel")));
        Application->CreateForm(KelvaneMainForm);
    }
    return KelvaneMainForm;
}

void DebounceRestart(benchmark::State& state)
{
    TKelvaneMainForm* form = mainForm();
    for (auto _ : state)
        form->Memo1Change(form->Memo1);
    form->Timer1->SetEnabled(false);
}
BENCHMARK(DebounceRestart);

void TypeOneCharacter(benchmark::State& state)
{
    TKelvaneMainForm* form = mainForm();
    form->Memo1->SetText(textOfSize(state.range(0)));
    for (auto _ : state)
        form->Memo1->insertPlainText(QStringLiteral("x"));
    form->Timer1->SetEnabled(false);
}
BENCHMARK(TypeOneCharacter)->Arg(60)->Arg(5 * 1024);

void SavePreviewFile(benchmark::State& state)
{
    TKelvaneMainForm* form = mainForm();
    form->Memo1->SetText(textOfSize(state.range(0)));
    for (auto _ : state)
        form->Memo1->Lines()->SaveToFile(form->PreviewFileName());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(SavePreviewFile)->Arg(60)->Arg(5 * 1024)->Arg(10 * 1024 * 1024)->Unit(benchmark::kMicrosecond);

void MenuShortCutMiss(benchmark::State& state)
{
    TKelvaneMainForm* form = mainForm();
    for (auto _ : state)
        benchmark::DoNotOptimize(form->MainMenu1->IsShortCut(0x41));
}
BENCHMARK(MenuShortCutMiss);

} // namespace

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
