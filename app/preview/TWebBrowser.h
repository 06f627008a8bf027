#pragma once

#include "app/preview/FormulaError.h"
#include "app/preview/MacrosFile.h"
#include "app/preview/PreviewSource.h"
#include "core/TEvent.h"

#include <QElapsedTimer>
#include <QList>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include <optional>

class FormulaDrag;
class PreviewContextMenu;
class PreviewKeyboard;
class PreviewPage;
class PreviewPageHost;
class PreviewRequestGuard;
class QKeyEvent;
class QTimer;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

// The preview pane: an embedded web view that opens the preview file and shows
// the TeX in it typeset. The view is sized only through Width and Height and
// never moved: it stays at the top-left corner of its parent panel.
class TWebBrowser : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)

public:
    using TCommandStateChangeEvent = TEvent<TObject*, int /*Command*/, bool /*Enable*/>;

    // The Command values of OnCommandStateChange.
    static constexpr int CommandNavigateForward = 1;
    static constexpr int CommandNavigateBack = 2;

    // Registers the preview's URL scheme with the web engine. Call it in
    // main() before the application object is constructed; later calls do
    // nothing.
    static void PrepareEngine();

    explicit TWebBrowser(QWidget* parent);
    ~TWebBrowser() override;

    // Reads the file at URL (a plain local path) anew on every call, also when
    // the path is unchanged, and shows its text typeset.
    void Navigate(const QString& URL);
    // The same, in the shape of the browser control's automation call; the
    // four values are accepted and not used.
    void Navigate(const QString& URL, QVariant& Flags, QVariant& TargetFrameName,
        QVariant& PostData, QVariant& Headers);
    // What Navigate does once it has read the file: for a file read
    // elsewhere (off the interface thread for a long text).
    void ShowSource(const PreviewSource& source);
    // The user's macros file, whose definitions hold before every formula;
    // each Navigate checks whether it changed. None when empty.
    void setMacrosFile(const QString& path);
    // The macros file's text as last read.
    QString macrosText() const { return m_macros.text(); }

    // A notice shown under every text from now on, beside what the text's own
    // reading has to say; none when empty. The text shown gets it at once.
    void setStandingNotice(const QString& notice);

    // Keeps the piece at this place of the text in view: the place of the
    // editor's caret in the text of the Navigate before (or, when one is on
    // its way, the next), followed once that text is shown.
    void FollowCaret(qsizetype place);
    // The text the page was given last; empty before the first.
    QString shownText() const { return m_pageText.value_or(QString()); }

    int Width() const;
    void setWidth(int value);
    int Height() const;
    void setHeight(int value);

    TCommandStateChangeEvent OnCommandStateChange;

    // For tests and measurements.
    QWebEngineView* view() const { return m_view; }
    QWebEnginePage* page() const;
    PreviewContextMenu* contextMenu() const { return m_contextMenu; }
    FormulaDrag* formulaDrag() const { return m_formulaDrag; }
    bool isPageReady() const { return m_isPageReady; }
    // Requests the page tried to make outside the preview's own scheme.
    QList<QUrl> blockedRequests() const;

signals:
    // After each text is shown with every formula typeset (or given up),
    // with the milliseconds from the page taking it to showing it.
    void rendered(double typesetMs);
    // Just before rendered(): the text shown and its formulas that could not
    // be typeset (none when all were).
    void formulaErrors(const QString& shownText, const QList<FormulaError>& errors);
    // A formula was double-clicked; the place where its source starts in
    // the shown text.
    void formulaActivated(qsizetype place);
    // A key that types or edits was pressed while the preview had the focus.
    void typed(const QKeyEvent& key);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void loadPage();
    void forgetPage();
    void onLoadFinished(bool ok);
    void onRenderProcessTerminated();
    void onNavigationActionChanged(int command);
    void sendPending();
    void onTaken(const QVariant& result);
    void onPageShown(int serial, double ms);
    void reportShown();
    void pushPalette();
    void sendCaret();

    QWebEngineView* m_view = nullptr;
    QWebEngineProfile* m_profile = nullptr;
    PreviewPage* m_page = nullptr;
    PreviewRequestGuard* m_guard = nullptr;
    PreviewPageHost* m_host = nullptr;
    PreviewContextMenu* m_contextMenu = nullptr;
    FormulaDrag* m_formulaDrag = nullptr;
    PreviewKeyboard* m_keyboard = nullptr;

    // The latest text; it is shown again if the page has to be reloaded.
    PreviewSource m_source;
    bool m_hasSource = false;
    QString m_standingNotice;
    // The place of the editor's caret in that text, or -1.
    qsizetype m_caretPlace = -1;
    MacrosFile m_macros;
    // The page has not got the macros file as it is now.
    bool m_areMacrosPending = false;
    // The text the page has shown, as far as the pane knows, and the one on
    // its way to it.
    std::optional<QString> m_pageText;
    QString m_sentText;
    // The page's serial number of the text it took last, until it is
    // reported shown, and of the text it said it showed last.
    int m_takenSerial = 0;
    int m_shownSerial = 0;
    // The serial number of the text reported rendered last.
    int m_renderedSerial = 0;
    double m_shownMs = 0;
    // The formulas that could not be typeset, as the page reported them
    // for the text with that serial number.
    QList<FormulaError> m_errors;
    int m_errorsSerial = 0;
    bool m_isPending = false;
    bool m_isInFlight = false;
    bool m_isPageReady = false;
    bool m_isLoadingPage = false;
    bool m_isBackEnabled = false;
    bool m_isForwardEnabled = false;
    // The page is loaded again after its render process ended; if it ends
    // again soon after, after a pause.
    QTimer* m_reloadTimer = nullptr;
    QElapsedTimer m_sinceReload;
    int m_reloadPauseMs = 0;
};
