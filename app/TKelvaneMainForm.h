#pragma once

#include "controls/TForm.h"
#include "platform/ClipboardReader.h"

class PreviewSource;

#include <memory>

class EditorPreviewLink;
class HandOverHistory;
class PaneZoom;
class ErrorMarks;
class LastTextRecord;
class PreviewFileWriter;
class TAppEvents;
class TFormStorage;
class TMainMenu;
class TMemo;
class TexEditor;
class TMenuItem;
class TPanel;
class TProject;
class TSplitter;
class TTimer;
class TWebBrowser;

// The program's only window: the editor on top, the splitter bar, and the
// panel with the preview pane below; the menu offers minimise and exit, the
// refresh and its delay, and the about box.
class TKelvaneMainForm : public TForm {
    Q_OBJECT

public:
    TKelvaneMainForm();
    ~TKelvaneMainForm() override;

    TMemo* Memo1 = nullptr;
    TPanel* Panel1 = nullptr;
    TTimer* Timer1 = nullptr;
    TMainMenu* MainMenu1 = nullptr;
    TMenuItem* Update1 = nullptr;
    TMenuItem* Now1 = nullptr;
    TProject* Project1 = nullptr;
    TMenuItem* About1 = nullptr;
    TMenuItem* Immediately1 = nullptr;
    TMenuItem* Every1Second1 = nullptr;
    TMenuItem* Every2Seconds1 = nullptr;
    TMenuItem* Every5Seconds1 = nullptr;
    TMenuItem* File1 = nullptr;
    TMenuItem* Exit1 = nullptr;
    TMenuItem* N1 = nullptr;
    TMenuItem* Every10Seconds1 = nullptr;
    TMenuItem* ManuallyOnly1 = nullptr;
    TSplitter* Splitter1 = nullptr;
    TFormStorage* FormStorage1 = nullptr;
    TAppEvents* AppEvents1 = nullptr;
    TMenuItem* Minimize1 = nullptr;
    TWebBrowser* WebBrowser1 = nullptr;
    ErrorMarks* ErrorMarks1() const { return m_errorMarks; }
    TexEditor* TexEditor1() const { return m_texEditor; }
    TMenuItem* EveryHalfSecond1 = nullptr;
    TMenuItem* History1 = nullptr;
    // The zoom of the editor and of the preview, kept in the settings.
    PaneZoom* EditorZoom1 = nullptr;
    PaneZoom* PreviewZoom1 = nullptr;

    void FormResize(TObject* sender);
    void FormCreate(TObject* sender);
    void WebBrowser1CommandStateChange(TObject* sender, int command, bool enable);
    void Now1Click(TObject* sender);
    void About1Click(TObject* sender);
    void Exit1Click(TObject* sender);
    void Immediately1Click(TObject* sender);
    void Every1Second1Click(TObject* sender);
    void Every2Seconds1Click(TObject* sender);
    void Every5Seconds1Click(TObject* sender);
    void Every10Seconds1Click(TObject* sender);
    void ManuallyOnly1Click(TObject* sender);
    void Timer1Timer(TObject* sender);
    void Splitter1PosChanged(TObject* sender);
    void FormClose(TObject* sender, TCloseAction& action);
    void Memo1Change(TObject* sender);
    void AppEvents1Minimize(TObject* sender);
    void AppEvents1Restore(TObject* sender);
    void Minimize1Click(TObject* sender);
    void EveryHalfSecond1Click(TObject* sender);
    void History1Click(TObject* sender);

    // Puts a text of the history in place of the editor's, as one step that
    // undo takes back.
    void PutHistoryText(const QString& text);
    HandOverHistory* History() const { return m_history; }

    // A row of the menu's table.
    struct MenuEntry;

    // The full path of the preview file, fixed when the window is created.
    QString PreviewFileName() const { return m_previewFileName; }
    // For tests: what writes that file.
    PreviewFileWriter* PreviewWriter() const { return m_previewWriter; }

protected:
    void Loaded() override;

private:
    void createComponents();
    void createMenu();
    void createProject();
    void createZoom();
    TMenuItem* addMenuItem(TMenuItem* parent, const MenuEntry& entry);
    void chooseDelay(TMenuItem* item);
    void fitBrowserToPanel();
    void recoverTextLeftByACrash(const ClipboardReader::Reading& clipboard);
    void savePreviewFileIfBehind();
    void showWrittenPreview(const PreviewSource& source);
    void tellWhereACrashedCopysTextIs();

    QString m_previewFileName;
    bool m_isPreviewFileBehind = false;
    std::unique_ptr<LastTextRecord> m_lastText;
    // The editor's marks of the formulas the preview could not typeset.
    ErrorMarks* m_errorMarks = nullptr;
    TexEditor* m_texEditor = nullptr;
    // The preview following the editor's caret, and the editor the preview.
    EditorPreviewLink* m_previewLink = nullptr;
    // Every text handed over, and the History window.
    HandOverHistory* m_history = nullptr;
    // Writes the preview file, a long text off the interface thread.
    PreviewFileWriter* m_previewWriter = nullptr;
};

// The main window, set when the application object creates it.
extern TKelvaneMainForm* KelvaneMainForm;
