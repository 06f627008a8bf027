#include "TKelvaneMainForm.h"

#include "AboutText.h"
#include "ChangeExtension.h"
#include "LastTextRecord.h"
#include "RegularFile.h"
#include "RunningInstance.h"
#include "TAlignLayout.h"
#include "TAppEvents.h"
#include "TApplication.h"
#include "TFormStorage.h"
#include "TMainMenu.h"
#include "TMemo.h"
#include "TMemoStrings.h"
#include "TMenuItem.h"
#include "TPanel.h"
#include "TProject.h"
#include "TSplitter.h"
#include "TTimer.h"
#include "TWebBrowser.h"

#include <QFile>
#include <QMenuBar>

#include <optional>

TKelvaneMainForm* KelvaneMainForm = nullptr;

namespace {

// The window as designed: its place on the screen and the size of the area
// below the menu bar (editor, bar and panel).
constexpr int DesignedLeft = 282;
constexpr int DesignedTop = 150;
constexpr int DesignedClientWidth = 427;
constexpr int DesignedClientHeight = 251;
constexpr int DesignedMemoHeight = 121;

// The longest the start waits for the clipboard's owner, over all its reads.
constexpr int StartClipboardTimeoutMs = 1500;

// The preview file's text, or nothing when it is not a regular file that can
// be read.
std::optional<QString> readPreviewFile(const QString& fileName)
{
    if (fileName.isEmpty())
        return std::nullopt;
    QFile file;
    if (!OpenRegularFile(file, fileName, QIODevice::ReadOnly))
        return std::nullopt;
    // The editor takes CR LF and lone CR as line breaks when it is assigned.
    return QString::fromUtf8(file.readAll());
}

} // namespace

TKelvaneMainForm::TKelvaneMainForm()
{
    setObjectName(QStringLiteral("KelvaneMainForm"));
    SetCaption(QStringLiteral("Tamsel"));
    createComponents();
    createMenu();
    SetMenu(MainMenu1);
    OnCreate = TNotifyEvent(this, &TKelvaneMainForm::FormCreate);
    OnResize = TNotifyEvent(this, &TKelvaneMainForm::FormResize);
    OnClose = TCloseEvent(this, &TKelvaneMainForm::FormClose);
}

// The designed size is that of the area below the menu bar, so the window is
// sized once the menu bar holds its entries.
void TKelvaneMainForm::Loaded()
{
    Splitter1->Loaded();
    move(DesignedLeft, DesignedTop);
    resize(DesignedClientWidth, DesignedClientHeight + menuBar()->sizeHint().height());
}

TKelvaneMainForm::~TKelvaneMainForm()
{
    if (KelvaneMainForm == this)
        KelvaneMainForm = nullptr;
}

void TKelvaneMainForm::createComponents()
{
    Memo1 = new TMemo(ClientArea());
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, 0, DesignedClientWidth, DesignedMemoHeight);
    TAlignLayout::setAlign(Memo1, alTop);
    Memo1->SetScrollBars(TMemo::ssBoth);
    Memo1->OnChange = TNotifyEvent(this, &TKelvaneMainForm::Memo1Change);

    Panel1 = new TPanel(ClientArea());
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, DesignedMemoHeight + 3, DesignedClientWidth, DesignedClientHeight - DesignedMemoHeight - 3);
    TAlignLayout::setAlign(Panel1, alClient);

    WebBrowser1 = new TWebBrowser(Panel1);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->OnCommandStateChange = TWebBrowser::TCommandStateChangeEvent(
        this, &TKelvaneMainForm::WebBrowser1CommandStateChange);

    // The editor keeps its height, the bar lies below it and the panel takes
    // the rest; dragging the bar changes the editor's height.
    Splitter1 = new TSplitter(ClientArea());
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->BeginLoading();
    Splitter1->setGeometry(0, DesignedMemoHeight, DesignedClientWidth, 3);
    Splitter1->SetAlign(alTop);
    Splitter1->SetControlFirst(Memo1);
    Splitter1->SetControlSecond(Panel1);
    Splitter1->OnPosChanged = TNotifyEvent(this, &TKelvaneMainForm::Splitter1PosChanged);
    setTabOrder(Memo1, Panel1);

    Timer1 = new TTimer(this);
    Timer1->SetName(QStringLiteral("Timer1"));
    Timer1->SetEnabled(false);
    Timer1->SetInterval(5000);
    Timer1->SetOnTimer(TNotifyEvent(this, &TKelvaneMainForm::Timer1Timer));

    createProject();

    FormStorage1 = new TFormStorage(this);
    FormStorage1->SetName(QStringLiteral("FormStorage1"));
    FormStorage1->SetStoredProps({
        QStringLiteral("Every10Seconds1.Checked"),
        QStringLiteral("EveryHalfSecond1.Checked"),
        QStringLiteral("Every1Second1.Checked"),
        QStringLiteral("Every2Seconds1.Checked"),
        QStringLiteral("Every5Seconds1.Checked"),
        QStringLiteral("Immediately1.Checked"),
        QStringLiteral("ManuallyOnly1.Checked"),
        QStringLiteral("Timer1.Interval"),
    });

    AppEvents1 = new TAppEvents(this);
    AppEvents1->SetName(QStringLiteral("AppEvents1"));
    AppEvents1->OnMinimize = TNotifyEvent(this, &TKelvaneMainForm::AppEvents1Minimize);
    AppEvents1->OnRestore = TNotifyEvent(this, &TKelvaneMainForm::AppEvents1Restore);
}

// The project's identity as designed, in the order the designer stores it:
// the log comes before the version, whose assignment adds the log's last line.
void TKelvaneMainForm::createProject()
{
    Project1 = new TProject(this);
    Project1->SetName(QStringLiteral("Project1"));
    Project1->BeginLoading();
    Project1->SetAutoNaming(false);
    Project1->SetBuild(12);
    Project1->SetLog({
        QStringLiteral("Project started."),
        QStringLiteral("2026-11-23 09:10: Framework, main window and refresh cycle: first cut"),
        QStringLiteral("2026-11-23 14:42: Main window tests: layout, menu, keys, refresh cycle"),
        QStringLiteral("2026-11-24 10:05: Separator entries show no caption text"),
        QStringLiteral("2026-11-24 16:30: README, program icon; message box keeps timers ticking"),
        QStringLiteral("2026-11-25 11:18: Tests: log-off close query, drop-down click, huge single line"),
        QStringLiteral("2026-11-26 09:47: End-to-end typing session under a virtual display"),
        QStringLiteral("2026-11-27 15:02: Preview pane, single-instance channel, benchmarks"),
        QStringLiteral("2026-11-30 10:26: Registration switches end at once"),
        QStringLiteral("2026-12-01 13:55: About box text"),
        QStringLiteral("2026-12-02 09:31: Instance channel in the user's private runtime folder"),
        QStringLiteral("2026-12-02 17:12: Preview frames shown as soon as they are drawn"),
        QStringLiteral("2026-12-03 11:40: Exceptions outside a catch block report nothing"),
        QStringLiteral("2026-12-04 10:08: Tests run with a session bus of their own"),
        QStringLiteral("Note: the preview typesets with the installed typesetting library."),
        QStringLiteral("2026-12-07 09:20: One helper brings the window forward"),
        QStringLiteral("Note: settings and preview file live beside the executable."),
    });
    Project1->SetVersion(QStringLiteral("1.0c"));
    Project1->SetBackupFiles(QStringLiteral("*.cpp;*.h;*.txt"));
    Project1->SetSmartBackup(false);
    Project1->SetCompany(QStringLiteral("<Name of your company>"));
    Project1->SetCopyright(QStringLiteral("Tamsel is in the public domain. Written by the Tamsel developers, 2026, developers@tamsel.example"));
    Project1->SetComment(QStringLiteral("https://tamsel.example/"));
    Project1->SetDescription(QStringLiteral("<Description of file>"));
    Project1->SetSpecialBuild(QStringLiteral("<How this build differs from a standard build>"));
    Project1->SetPrivateBuild(QStringLiteral("<Private information>"));
    Project1->SetProductname(QStringLiteral("Tamsel"));
    Project1->SetProductVersion(QStringLiteral("<0.0.0.0>"));
    Project1->SetOriginalName(QStringLiteral("<name of .exe file>"));
    Project1->SetTrademarks(QStringLiteral("KaTeX is a work of its authors.    Qt WebEngine is a protected work of its makers."));
    Project1->SetLanguage(TProject::lanUS_English);
    Project1->SetCharset(TProject::csMultilingual);
    Project1->SetFileType(TProject::ftProgram);
    Project1->SetResourceFile(QStringLiteral("Version.res"));
}

TMenuItem* TKelvaneMainForm::addMenuItem(TMenuItem* parent, const char* name, const QString& caption,
    int shortCut, bool radioItem, int groupIndex, void (TKelvaneMainForm::*onClick)(TObject*))
{
    auto* item = new TMenuItem(this);
    item->BeginLoading();
    item->SetName(QString::fromLatin1(name));
    item->SetCaption(caption);
    item->SetShortCut(shortCut);
    item->SetRadioItem(radioItem);
    item->SetGroupIndex(groupIndex);
    if (onClick)
        item->OnClick = TNotifyEvent(this, onClick);
    parent->Add(item);
    return item;
}

void TKelvaneMainForm::createMenu()
{
    MainMenu1 = new TMainMenu(this);
    MainMenu1->SetName(QStringLiteral("MainMenu1"));
    MainMenu1->BeginLoading();
    TMenuItem* bar = MainMenu1->Items();

    File1 = addMenuItem(bar, "File1", QStringLiteral("&File"), 0, false, 0, nullptr);
    Minimize1 = addMenuItem(File1, "Minimize1", QStringLiteral("&Minimize"), 27, false, 0, &TKelvaneMainForm::Minimize1Click);
    Exit1 = addMenuItem(File1, "Exit1", QStringLiteral("E&xit"), 0, false, 0, &TKelvaneMainForm::Exit1Click);

    Update1 = addMenuItem(bar, "Update1", QStringLiteral("&Update"), 0, false, 0, nullptr);
    Now1 = addMenuItem(Update1, "Now1", QStringLiteral("&Now"), 45, true, 0, &TKelvaneMainForm::Now1Click);
    N1 = addMenuItem(Update1, "N1", QStringLiteral("-"), 0, false, 0, nullptr);
    Immediately1 = addMenuItem(Update1, "Immediately1", QStringLiteral("&Immediately"), 0x402D, true, 1, &TKelvaneMainForm::Immediately1Click);
    EveryHalfSecond1 = addMenuItem(Update1, "EveryHalfSecond1", QStringLiteral("Every 1&/2 Second"), 0x40BF, true, 1, &TKelvaneMainForm::EveryHalfSecond1Click);
    EveryHalfSecond1->SetChecked(true);
    Every1Second1 = addMenuItem(Update1, "Every1Second1", QStringLiteral("Every &1 Second"), 0x4031, true, 1, &TKelvaneMainForm::Every1Second1Click);
    Every2Seconds1 = addMenuItem(Update1, "Every2Seconds1", QStringLiteral("Every &2 Seconds"), 0x4032, true, 1, &TKelvaneMainForm::Every2Seconds1Click);
    Every5Seconds1 = addMenuItem(Update1, "Every5Seconds1", QStringLiteral("Every &5 Seconds"), 0x4035, true, 1, &TKelvaneMainForm::Every5Seconds1Click);
    Every10Seconds1 = addMenuItem(Update1, "Every10Seconds1", QStringLiteral("Every 1&0 Seconds"), 0x4030, true, 1, &TKelvaneMainForm::Every10Seconds1Click);
    ManuallyOnly1 = addMenuItem(Update1, "ManuallyOnly1", QStringLiteral("&Manually Only"), 0x402E, true, 1, &TKelvaneMainForm::ManuallyOnly1Click);

    About1 = addMenuItem(bar, "About1", QStringLiteral("&About"), 0, false, 0, &TKelvaneMainForm::About1Click);
}

// The browser is sized through its own Height and Width, in that order; it is
// never moved and so covers the panel from its top-left corner.
void TKelvaneMainForm::fitBrowserToPanel()
{
    WebBrowser1->setHeight(Panel1->height());
    WebBrowser1->setWidth(Panel1->width());
}

void TKelvaneMainForm::FormResize(TObject*)
{
    fitBrowserToPanel();
}

void TKelvaneMainForm::Splitter1PosChanged(TObject*)
{
    fitBrowserToPanel();
}

void TKelvaneMainForm::FormCreate(TObject* sender)
{
    // An executable path without a name gives no file names at all, as for a
    // folder that cannot be written: no file is made anywhere else.
    const QString exeName = Application->ExeName();
    m_previewFileName = exeName.isEmpty() ? QString() : ChangeExtension(exeName, QStringLiteral(".tex"));
    FormStorage1->SetIniFileName(exeName.isEmpty() ? QString() : ChangeExtension(exeName, QStringLiteral(".ini")));
    m_lastText = std::make_unique<LastTextRecord>(m_previewFileName, RunningInstanceName());
    // The clipboard is read once for the whole start, the paste included.
    ClipboardReader::Snapshot clipboard(StartClipboardTimeoutMs);
    recoverTextLeftByACrash(clipboard.reading());
    AppEvents1Restore(sender);
    m_lastText->follow(Memo1->document());
}

// A copy that crashed took its clipboard with it where no clipboard manager
// keeps it, and a keeper that no longer answers holds the text out of reach;
// the text then survives only in this copy's record (or, for a copy that
// never kept one, the preview file), which the start's refresh would
// otherwise write over with nothing.
void TKelvaneMainForm::recoverTextLeftByACrash(const ClipboardReader::Reading& clipboard)
{
    using ClipboardReader::Status;
    const bool isTextOutOfReach = clipboard.status == Status::NoAnswer
        || (clipboard.status == Status::NoText && m_lastText->previousCopyEndedAbnormally());
    if (!isTextOutOfReach)
        return;
    const std::optional<QString> text
        = m_lastText->previousText() ? m_lastText->previousText() : readPreviewFile(m_previewFileName);
    if (text)
        Memo1->SetText(*text);
}

// On Linux a background program must not take the foreground, so the
// application is brought forward only while it already is the active one.
void TKelvaneMainForm::WebBrowser1CommandStateChange(TObject*, int, bool)
{
    try {
        if (QApplication::activeWindow() && Application->MainForm()) {
            Application->MainForm()->raise();
            Application->MainForm()->activateWindow();
        }
    } catch (...) {
    }
}

// The refresh: the timer goes off first, whatever happens next; a preview file
// that cannot be written leaves the preview as it was, and nothing is shown.
void TKelvaneMainForm::Now1Click(TObject*)
{
    Timer1->SetEnabled(false);
    try {
        Memo1->Lines()->SaveToFile(m_previewFileName);
        WebBrowser1->Navigate(m_previewFileName);
    } catch (...) {
    }
}

void TKelvaneMainForm::About1Click(TObject*)
{
    const QString text = AboutText(Application->Title(), *Project1);
    Application->MessageBox(text, Application->Title(), TApplication::MB_OK);
}

void TKelvaneMainForm::Exit1Click(TObject*)
{
    Close();
}

void TKelvaneMainForm::setDelay(uint interval, TMenuItem* item)
{
    Timer1->SetInterval(interval);
    item->SetChecked(true);
}

void TKelvaneMainForm::Immediately1Click(TObject*)
{
    setDelay(1, Immediately1);
}

void TKelvaneMainForm::EveryHalfSecond1Click(TObject*)
{
    setDelay(500, EveryHalfSecond1);
}

void TKelvaneMainForm::Every1Second1Click(TObject*)
{
    setDelay(1000, Every1Second1);
}

void TKelvaneMainForm::Every2Seconds1Click(TObject*)
{
    setDelay(2000, Every2Seconds1);
}

void TKelvaneMainForm::Every5Seconds1Click(TObject*)
{
    setDelay(5000, Every5Seconds1);
}

void TKelvaneMainForm::Every10Seconds1Click(TObject*)
{
    setDelay(10000, Every10Seconds1);
}

void TKelvaneMainForm::ManuallyOnly1Click(TObject*)
{
    ManuallyOnly1->SetChecked(true);
}

void TKelvaneMainForm::Timer1Timer(TObject* sender)
{
    if (!ManuallyOnly1->Checked())
        Now1Click(sender);
}

void TKelvaneMainForm::FormClose(TObject* sender, TCloseAction&)
{
    AppEvents1Minimize(sender);
}

// Every edit turns the timer off and on, which restarts the full delay.
void TKelvaneMainForm::Memo1Change(TObject*)
{
    Timer1->SetEnabled(false);
    Timer1->SetEnabled(true);
}

void TKelvaneMainForm::AppEvents1Minimize(TObject*)
{
    Memo1->SelectAll();
    Memo1->CopyToClipboard();
}

// The restore hand-over: the clipboard's text replaces the selection (the
// whole text after a minimise) and is previewed at once.
void TKelvaneMainForm::AppEvents1Restore(TObject* sender)
{
    Memo1->PasteFromClipboard();
    Now1Click(sender);
}

void TKelvaneMainForm::Minimize1Click(TObject*)
{
    Application->Minimize();
}
