// The refresh cycle's own work, without the typesetter: the debounce restart
// on every edit, the preview file write, the editor's text with CR LF breaks,
// and the menu's shortcut matching on every key press; the keyboard layout's
// reading (on every layout change) and the clipboard hand-over at the close.
#include "app/ClipboardHandOff.h"
#include "platform/CurrentKeyboardLayout.h"
#include "controls/KeyMap.h"
#include "platform/KeyboardLayout.h"
#include "application/TApplication.h"
#include "app/TKelvaneMainForm.h"
#include "controls/TMainMenu.h"
#include "controls/TMemo.h"
#include "controls/TMemoStrings.h"
#include "core/TTimer.h"

#include <QGuiApplication>
#include <QClipboard>
#include <QFile>
#include <QCoreApplication>
#include <QKeyEvent>
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

// A key press to its shortcut through the layout in use: Ctrl + the "1" key.
void KeyPressToShortCut(benchmark::State& state)
{
    if (!CurrentKeyboardLayout::Instance()) {
        state.SkipWithError("no X keyboard");
        return;
    }
    const QKeyEvent event(QEvent::KeyPress, Qt::Key_1, Qt::ControlModifier, 10, 0x31, 0x4, QStringLiteral("1"));
    for (auto _ : state)
        benchmark::DoNotOptimize(KeyMap::ShortCutFromKeyEvent(&event));
}
BENCHMARK(KeyPressToShortCut);

// A layout change: compiling the keymap and giving the keys their codes.
void ReadKeyboardLayout(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(KeyboardLayout::FromNames("de"));
}
BENCHMARK(ReadKeyboardLayout)->Unit(benchmark::kMillisecond);

// What the close adds when no clipboard manager runs: starting the keeper and
// waiting until it serves the text. Each keeper takes over from the last.
void HandClipboardToKeeper(benchmark::State& state)
{
    const QString keeper = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/")
        + QLatin1String(ClipboardHandOff::KeeperName);
    const QString text = textOfSize(5 * 1024);
    for (auto _ : state) {
        if (ClipboardHandOff::StartKeeper(QFile::encodeName(keeper), text, 10000) == 0) {
            state.SkipWithError("the keeper did not start");
            return;
        }
    }
}
BENCHMARK(HandClipboardToKeeper)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
