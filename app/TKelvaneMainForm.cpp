#include "app/TKelvaneMainForm.h"

#include "app/AboutText.h"
#include "app/EditorPreviewLink.h"
#include "app/DesktopScheme.h"
#include "app/EditorText.h"
#include "app/ErrorMarks.h"
#include "app/HandOverHistory.h"
#include "app/typing/TexEditor.h"
#include "app/LastTextRecord.h"
#include "app/PaneZoom.h"
#include "app/PaneZoomViews.h"
#include "app/ZoomKeys.h"
#include "app/PreviewFileWriter.h"
#include "platform/FileNames.h"
#include "app/ProjectIdentity.h"
#include "platform/RegularFile.h"
#include "app/RunningInstance.h"
#include "controls/ShortCut.h"
#include "controls/TAlignLayout.h"
#include "widgets/TAppEvents.h"
#include "application/TApplication.h"
#include "settings/TFormStorage.h"
#include "controls/TMainMenu.h"
#include "app/preview/FormulaImage.h"
#include "controls/TMemo.h"
#include "controls/TMemoStrings.h"
#include "controls/TMenuItem.h"
#include "controls/TPanel.h"
#include "project/TProject.h"
#include "widgets/TSplitter.h"
#include "core/ExceptionBoundary.h"
#include "core/TTimer.h"
#include "app/preview/TWebBrowser.h"

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

// How long after the start the history file is looked at.
constexpr int HistoryCheckDelayMs = 1000;

// A refresh writes and reads back a text up to this long itself (well under a
// millisecond's work); a longer one goes to a worker, so a key typed meanwhile
// is not kept waiting.
constexpr qsizetype MaxCharsWrittenAtOnce = 64 * 1024;

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
    // The application's palette follows the desktop's scheme from the start.
    if (!DesktopScheme::Instance())
        new DesktopScheme(qApp);
    Memo1 = new TMemo(ClientArea());
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, 0, DesignedClientWidth, DesignedMemoHeight);
    TAlignLayout::setAlign(Memo1, alTop);
    Memo1->SetScrollBars(TMemo::ssBoth);
    Memo1->OnChange = TNotifyEvent(this, &TKelvaneMainForm::Memo1Change);
    // A picture of a formula copied or dragged out of the preview brings its TeX back.
    Memo1->TextOfOtherData = [](const QMimeData* data) { return FormulaImage::texOf(data).value_or(QString()); };
    Memo1->setAccessibleName(QStringLiteral("TeX source"));
    Memo1->setAccessibleDescription(QStringLiteral("The text typeset in the preview below"));
    m_texEditor = new TexEditor(Memo1);

    Panel1 = new TPanel(ClientArea());
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, DesignedMemoHeight + 3, DesignedClientWidth, DesignedClientHeight - DesignedMemoHeight - 3);
    TAlignLayout::setAlign(Panel1, alClient);

    WebBrowser1 = new TWebBrowser(Panel1);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->OnCommandStateChange = TWebBrowser::TCommandStateChangeEvent(
        this, &TKelvaneMainForm::WebBrowser1CommandStateChange);
    WebBrowser1->setAccessibleName(QStringLiteral("Preview"));
    WebBrowser1->setAccessibleDescription(QStringLiteral("The TeX source typeset"));
    // After each refresh the editor points at the formulas that failed.
    m_errorMarks = new ErrorMarks(Memo1);
    connect(WebBrowser1, &TWebBrowser::formulaErrors, m_errorMarks,
        [this](const QString& shownText, const QList<FormulaError>& errors) {
            guarded(this, [&] { m_errorMarks->show(shownText, errors); });
        });
    m_previewLink = new EditorPreviewLink(Memo1, WebBrowser1);
    m_previewWriter = new PreviewFileWriter(this);
    connect(m_previewWriter, &PreviewFileWriter::written, this, &TKelvaneMainForm::showWrittenPreview);
    // As for a text written at once, a failure is not shown and the next
    // refresh tries again; the close writes the text if none has.
    connect(m_previewWriter, &PreviewFileWriter::failed, this, [this] { m_isPreviewFileBehind = true; });

    // The editor keeps its height, the bar lies below it and the panel takes
    // the rest; dragging the bar changes the editor's height.
    Splitter1 = new TSplitter(ClientArea());
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setAccessibleName(QStringLiteral("Editor and preview divider"));
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
    createZoom();

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
        QStringLiteral("EditorZoom1.Percent"),
        QStringLiteral("PreviewZoom1.Percent"),
    });

    AppEvents1 = new TAppEvents(this);
    AppEvents1->SetName(QStringLiteral("AppEvents1"));
    AppEvents1->OnMinimize = TNotifyEvent(this, &TKelvaneMainForm::AppEvents1Minimize);
    AppEvents1->OnRestore = TNotifyEvent(this, &TKelvaneMainForm::AppEvents1Restore);
}

void TKelvaneMainForm::createProject()
{
    Project1 = new TProject(this);
    Project1->SetName(QStringLiteral("Project1"));
    DescribeProject(*Project1);
}

using namespace ShortCuts;

void TKelvaneMainForm::createZoom()
{
    EditorZoom1 = new PaneZoom(this);
    EditorZoom1->SetName(QStringLiteral("EditorZoom1"));
    PaneZoomViews::Follow(*EditorZoom1, *Memo1);
    PreviewZoom1 = new PaneZoom(this);
    PreviewZoom1->SetName(QStringLiteral("PreviewZoom1"));
    PaneZoomViews::Follow(*PreviewZoom1, *WebBrowser1);
    const auto isMenuKey = [this](TShortCut key) {
        const QList<TMenuItem*> items = findChildren<TMenuItem*>();
        return std::any_of(items.begin(), items.end(), [key](const TMenuItem* item) { return item->ShortCut() == key; });
    };
    qApp->installEventFilter(new ZoomKeys({ Memo1, EditorZoom1 }, { WebBrowser1, PreviewZoom1 }, isMenuKey, this));
}

namespace {
constexpr int NoRadioGroup = -1;
} // namespace

// The menu as designed, in order. An entry hangs under the entry named as its
// parent (none: the menu bar); a delay entry chooses the refresh delay given
// in milliseconds.
struct TKelvaneMainForm::MenuEntry {
    using Member = TMenuItem* TKelvaneMainForm::*;
    using Handler = void (TKelvaneMainForm::*)(TObject*);
    Member parent;
    Member item;
    const char* name;
    const char* caption;
    TShortCut shortCut;
    int radioGroup;
    uint delay;
    Handler onClick;
};

namespace {
using F = TKelvaneMainForm;
const F::MenuEntry MenuTable[] = {
    { nullptr, &F::File1, "File1", "&File", scNone, NoRadioGroup, 0, nullptr },
    { &F::File1, &F::History1, "History1", "&History...", scCtrl | scShift | TShortCut('H'), NoRadioGroup, 0, &F::History1Click },
    { &F::File1, &F::Minimize1, "Minimize1", "&Minimize", VK_ESCAPE, NoRadioGroup, 0, &F::Minimize1Click },
    { &F::File1, &F::Exit1, "Exit1", "E&xit", scNone, NoRadioGroup, 0, &F::Exit1Click },
    { nullptr, &F::Update1, "Update1", "&Update", scNone, NoRadioGroup, 0, nullptr },
    { &F::Update1, &F::Now1, "Now1", "&Now", VK_INSERT, 0, 0, &F::Now1Click },
    { &F::Update1, &F::N1, "N1", "-", scNone, NoRadioGroup, 0, nullptr },
    { &F::Update1, &F::Immediately1, "Immediately1", "&Immediately", scCtrl | VK_INSERT, 1, 1, &F::Immediately1Click },
    { &F::Update1, &F::EveryHalfSecond1, "EveryHalfSecond1", "Every 1&/2 Second", scCtrl | VK_OEM_2, 1, 500, &F::EveryHalfSecond1Click },
    { &F::Update1, &F::Every1Second1, "Every1Second1", "Every &1 Second", scCtrl | TShortCut('1'), 1, 1000, &F::Every1Second1Click },
    { &F::Update1, &F::Every2Seconds1, "Every2Seconds1", "Every &2 Seconds", scCtrl | TShortCut('2'), 1, 2000, &F::Every2Seconds1Click },
    { &F::Update1, &F::Every5Seconds1, "Every5Seconds1", "Every &5 Seconds", scCtrl | TShortCut('5'), 1, 5000, &F::Every5Seconds1Click },
    { &F::Update1, &F::Every10Seconds1, "Every10Seconds1", "Every 1&0 Seconds", scCtrl | TShortCut('0'), 1, 10000, &F::Every10Seconds1Click },
    { &F::Update1, &F::ManuallyOnly1, "ManuallyOnly1", "&Manually Only", scCtrl | VK_DELETE, 1, 0, &F::ManuallyOnly1Click },
    { nullptr, &F::About1, "About1", "&About", scNone, NoRadioGroup, 0, &F::About1Click },
};

} // namespace

TMenuItem* TKelvaneMainForm::addMenuItem(TMenuItem* parent, const MenuEntry& entry)
{
    auto* item = new TMenuItem(this);
    item->BeginLoading();
    item->SetName(QString::fromLatin1(entry.name));
    item->SetCaption(QString::fromLatin1(entry.caption));
    item->SetShortCut(entry.shortCut);
    item->SetRadioItem(entry.radioGroup != NoRadioGroup);
    item->SetGroupIndex(entry.radioGroup == NoRadioGroup ? 0 : entry.radioGroup);
    if (entry.onClick)
        item->OnClick = TNotifyEvent(this, entry.onClick);
    parent->Add(item);
    return item;
}

void TKelvaneMainForm::createMenu()
{
    MainMenu1 = new TMainMenu(this);
    MainMenu1->SetName(QStringLiteral("MainMenu1"));
    MainMenu1->BeginLoading();
    for (const MenuEntry& entry : MenuTable)
        this->*entry.item = addMenuItem(entry.parent ? this->*entry.parent : MainMenu1->Items(), entry);
    EveryHalfSecond1->SetChecked(true);
}

// The delay entries share one handler: the delay comes from the menu's table.
void TKelvaneMainForm::chooseDelay(TMenuItem* item)
{
    for (const MenuEntry& entry : MenuTable) {
        if (this->*entry.item == item)
            Timer1->SetInterval(entry.delay);
    }
    item->SetChecked(true);
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
    m_previewFileName = exeName.isEmpty() ? QString() : FileNames::ChangeFileExt(exeName, QStringLiteral(".tex"));
    FormStorage1->SetIniFileName(exeName.isEmpty() ? QString() : FileNames::ChangeFileExt(exeName, QStringLiteral(".ini")));
    // The user's own definitions live beside them, named after the program too.
    const QString macrosFile = exeName.isEmpty() ? QString() : FileNames::ChangeFileExt(exeName, QString()) + QStringLiteral("-macros.tex");
    WebBrowser1->setMacrosFile(macrosFile);
    // The completion offers the commands it defines, as read at the start.
    m_texEditor->setMacrosText(WebBrowser1->macrosText());
    m_history = new HandOverHistory(exeName.isEmpty() ? QString() : FileNames::ChangeFileExt(exeName, QStringLiteral(".history")), this);
    m_lastText = std::make_unique<LastTextRecord>(m_previewFileName, RunningInstanceName());
    // The clipboard is read once for the whole start, the paste included.
    ClipboardReader::Snapshot clipboard(StartClipboardTimeoutMs);
    recoverTextLeftByACrash(clipboard.reading());
    AppEvents1Restore(sender);
    m_lastText->follow(Memo1->document());
    tellWhereACrashedCopysTextIs();
    // A damaged history is set aside once the window is up, not before.
    m_history->checkSoon(HistoryCheckDelayMs);
}

// The text of a copy that did not end normally, when the editor took the
// clipboard's text instead, is in a file of its own; the preview says where
// until the window is next minimised.
void TKelvaneMainForm::tellWhereACrashedCopysTextIs()
{
    if (!m_lastText->keptAsidePath().isEmpty())
        WebBrowser1->setStandingNotice(tr("The text you had when %1 last ended without closing is kept in %2.")
                                           .arg(Application->Title(), m_lastText->keptAsidePath()));
    else if (m_lastText->isKeepingAsideFailed())
        WebBrowser1->setStandingNotice(
            tr("The text you had when %1 last ended without closing could not be copied aside; it stays in %2.")
                .arg(Application->Title(), m_lastText->runningPath()));
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
// A short text is written and shown at once. A long one, or any text while a
// write is on its way, goes to a worker and is shown once the file holds it,
// so the interface thread only takes a copy of the text; a refresh meanwhile
// supersedes it.
void TKelvaneMainForm::Now1Click(TObject*)
{
    Timer1->SetEnabled(false);
    try {
        const QString text = Memo1->Lines()->RawText();
        if (text.size() <= MaxCharsWrittenAtOnce && !m_previewWriter->isWriting()) {
            m_previewWriter->writeNow(m_previewFileName, text);
            m_isPreviewFileBehind = false;
            WebBrowser1->Navigate(m_previewFileName);
            m_previewLink->refreshed();
        } else {
            m_previewWriter->writeLater(m_previewFileName, text);
            m_isPreviewFileBehind = false;
            m_previewLink->handedOver();
        }
    } catch (...) {
    }
}

// The second half of a refresh whose text a worker wrote; like the first,
// it discards what it throws.
void TKelvaneMainForm::showWrittenPreview(const PreviewSource& source)
{
    try {
        WebBrowser1->ShowSource(source);
        m_previewLink->shown();
    } catch (...) {
    }
}

// What was typed since the last refresh reaches the preview file before the
// program ends: at the end of a session the clipboard goes with the display,
// and the file is then the text's only copy, from which a start recovers it.
//
// A text a worker is writing is written here again, after it and in its
// stead, so the file surely holds it when the program ends.
void TKelvaneMainForm::savePreviewFileIfBehind()
{
    if (!m_isPreviewFileBehind && !m_previewWriter->isWriting())
        return;
    try {
        m_previewWriter->writeNow(m_previewFileName, Memo1->Lines()->RawText());
        m_isPreviewFileBehind = false;
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

void TKelvaneMainForm::Immediately1Click(TObject*)
{
    chooseDelay(Immediately1);
}

void TKelvaneMainForm::EveryHalfSecond1Click(TObject*)
{
    chooseDelay(EveryHalfSecond1);
}

void TKelvaneMainForm::Every1Second1Click(TObject*)
{
    chooseDelay(Every1Second1);
}

void TKelvaneMainForm::Every2Seconds1Click(TObject*)
{
    chooseDelay(Every2Seconds1);
}

void TKelvaneMainForm::Every5Seconds1Click(TObject*)
{
    chooseDelay(Every5Seconds1);
}

void TKelvaneMainForm::Every10Seconds1Click(TObject*)
{
    chooseDelay(Every10Seconds1);
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
    savePreviewFileIfBehind();
    AppEvents1Minimize(sender);
}

// Every edit turns the timer off and on, which restarts the full delay.
void TKelvaneMainForm::Memo1Change(TObject*)
{
    m_isPreviewFileBehind = true;
    Timer1->SetEnabled(false);
    Timer1->SetEnabled(true);
}

void TKelvaneMainForm::AppEvents1Minimize(TObject*)
{
    WebBrowser1->setStandingNotice(QString());
    Memo1->SelectAll();
    Memo1->CopyToClipboard();
    if (m_history)
        m_history->handedOver(EditorText::of(*Memo1->document()));
}

// The restore hand-over: the clipboard's text replaces the selection (the
// whole text after a minimise) and is previewed at once.
void TKelvaneMainForm::AppEvents1Restore(TObject* sender)
{
    Memo1->PasteFromClipboard();
    Now1Click(sender);
    if (m_history)
        m_history->showPendingNotice();
}

void TKelvaneMainForm::Minimize1Click(TObject*)
{
    Application->Minimize();
}

void TKelvaneMainForm::History1Click(TObject*)
{
    m_history->showWindow([this](const QString& text) { PutHistoryText(text); });
}

void TKelvaneMainForm::PutHistoryText(const QString& text)
{
    Memo1->selectAll();
    Memo1->insertPlainText(text);
    Memo1->setFocus();
}
