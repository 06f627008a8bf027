#include "app/preview/TWebBrowser.h"

#include "app/preview/ImmediateFrames.h"
#include "app/preview/FormulaDrag.h"
#include "app/preview/PreviewContextMenu.h"
#include "app/preview/PreviewKeyboard.h"
#include "app/preview/PreviewPage.h"
#include "app/preview/PreviewPageHost.h"
#include "app/preview/PreviewRequestGuard.h"
#include "app/preview/PreviewSchemeHandler.h"
#include "application/TApplication.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLoggingCategory>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>
#include <QWebChannel>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>

#ifndef TAMSEL_KATEX_DIR
#define TAMSEL_KATEX_DIR "/usr/share/javascript/katex"
#endif

Q_LOGGING_CATEGORY(lcPreview, "tamsel.preview")

namespace {

QString cssColor(const QColor& color)
{
    return color.name(QColor::HexRgb);
}

void configure(QWebEngineSettings* settings)
{
    using S = QWebEngineSettings;
    settings->setAttribute(S::JavascriptEnabled, true);
    settings->setAttribute(S::JavascriptCanOpenWindows, false);
    settings->setAttribute(S::JavascriptCanAccessClipboard, false);
    settings->setAttribute(S::JavascriptCanPaste, false);
    settings->setAttribute(S::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(S::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(S::LocalStorageEnabled, false);
    settings->setAttribute(S::PluginsEnabled, false);
    settings->setAttribute(S::PdfViewerEnabled, false);
    settings->setAttribute(S::AutoLoadImages, false);
    settings->setAttribute(S::AutoLoadIconsForPage, false);
    settings->setAttribute(S::TouchIconsEnabled, false);
    settings->setAttribute(S::HyperlinkAuditingEnabled, false);
    settings->setAttribute(S::DnsPrefetchEnabled, false);
    settings->setAttribute(S::ErrorPageEnabled, false);
    settings->setAttribute(S::FullScreenSupportEnabled, false);
    settings->setAttribute(S::ScreenCaptureEnabled, false);
    settings->setAttribute(S::WebGLEnabled, false);
    settings->setAttribute(S::AllowWindowActivationFromJavaScript, false);
    settings->setAttribute(S::NavigateOnDropEnabled, false);
    settings->setAttribute(S::LinksIncludedInFocusChain, false);
    // A refresh must never pull the keyboard focus out of the editor.
    settings->setAttribute(S::FocusOnNavigationEnabled, false);
}

// The view draws through a Qt Quick scene. With a graphics API behind it,
// every window holding the view is composed through that API on each update,
// so each blink of the editor's caret redrew and presented the whole window
// (some thirty wakeups a second in an idle window, against a few for an
// editor alone). Drawn in software, the view is one more widget of the window
// and an update presents only what changed. A backend the user chose is kept.
void drawViewInSoftware()
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QMLSCENE_DEVICE"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

} // namespace

void TWebBrowser::PrepareEngine()
{
    PreviewSchemeHandler::registerScheme();
    static const bool isReady = (drawViewInSoftware(), true);
    Q_UNUSED(isReady);
}

TWebBrowser::TWebBrowser(QWidget* parent)
    : QWidget(parent)
{
    // Harmless when main() did it already; it still works here as long as no
    // other web engine object exists yet.
    PrepareEngine();
    setFocusPolicy(Qt::NoFocus);

    m_view = new QWebEngineView(this);
    m_view->setAcceptDrops(false);
    new ImmediateFrames(m_view, this);

    // An off-the-record profile of the pane's own: nothing is written to disk,
    // and the request guard and scheme apply to this view only.
    m_profile = new QWebEngineProfile(this);
    m_profile->setSpellCheckEnabled(false);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_guard = new PreviewRequestGuard(m_profile);
    m_profile->setUrlRequestInterceptor(m_guard);
    m_profile->installUrlSchemeHandler(PreviewSchemeHandler::Scheme,
        new PreviewSchemeHandler(QStringLiteral(TAMSEL_KATEX_DIR), m_profile));

    m_page = new PreviewPage(m_profile, m_view);
    configure(m_page->settings());
    m_page->setBackgroundColor(palette().color(QPalette::Window));
    // The page's only way back to the pane: it says when a text is shown.
    m_host = new PreviewPageHost(this);
    auto* channel = new QWebChannel(this);
    channel->registerObject(QStringLiteral("pane"), m_host);
    m_page->setWebChannel(channel);
    m_view->setPage(m_page);
    m_contextMenu = new PreviewContextMenu(m_view);
    m_formulaDrag = new FormulaDrag(m_view, m_contextMenu->exporter());
    m_keyboard = new PreviewKeyboard(m_view, m_contextMenu, this);
    connect(m_keyboard, &PreviewKeyboard::typed, this, &TWebBrowser::typed);

    // Each place where the engine calls back into the pane hands whatever it
    // throws to the application object.
    connect(m_page, &QWebEnginePage::loadFinished, this,
        [this](bool ok) { guarded(this, [this, ok] { onLoadFinished(ok); }); });
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status) {
            if (status != QWebEnginePage::NormalTerminationStatus)
                guarded(this, [this] { onRenderProcessTerminated(); });
        });
    connect(m_host, &PreviewPageHost::pageShown, this,
        [this](int serial, double ms) { guarded(this, [&] { onPageShown(serial, ms); }); });
    connect(m_host, &PreviewPageHost::pageFormulaActivated, this,
        [this](int place) { guarded(this, [&] { emit formulaActivated(place); }); });
    connect(m_host, &PreviewPageHost::pageErrorsShown, this, [this](int serial, const QVariantList& errors) {
        guarded(this, [&] {
            m_errors = FormulaError::listFrom(errors);
            m_errorsSerial = serial;
            // A formula of the text shown last that was typeset later: its
            // errors are told again.
            if (serial == m_renderedSerial && m_takenSerial == 0 && m_pageText)
                emit formulaErrors(*m_pageText, m_errors);
        });
    });
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    connect(m_reloadTimer, &QTimer::timeout, this, [this] {
        guarded(this, [this] {
            m_sinceReload.start();
            loadPage();
        });
    });
    connect(m_page->action(QWebEnginePage::Back), &QAction::changed, this,
        [this] { onNavigationActionChanged(CommandNavigateBack); });
    connect(m_page->action(QWebEnginePage::Forward), &QAction::changed, this,
        [this] { onNavigationActionChanged(CommandNavigateForward); });

    loadPage();
}

TWebBrowser::~TWebBrowser()
{
    // The engine requires a page to go before its profile, but children are
    // destroyed after this body; so the view, and the page with it, go here,
    // with nothing more heard from the page, or of the focus, meanwhile.
    m_page->disconnect(this);
    m_host->disconnect(this);
    disconnect(qApp, nullptr, m_keyboard, nullptr);
    delete m_view;
}

QWebEnginePage* TWebBrowser::page() const
{
    return m_page;
}

QList<QUrl> TWebBrowser::blockedRequests() const
{
    return m_guard->blockedUrls();
}

void TWebBrowser::Navigate(
    const QString& URL, QVariant& /*Flags*/, QVariant& /*TargetFrameName*/, QVariant& /*PostData*/, QVariant& /*Headers*/)
{
    Navigate(URL);
}

void TWebBrowser::setMacrosFile(const QString& path)
{
    m_macros = MacrosFile(path);
    m_macros.refresh();
    m_areMacrosPending = m_macros.isUsed();
}

void TWebBrowser::Navigate(const QString& URL)
{
    ShowSource(PreviewSource::read(URL));
}

void TWebBrowser::ShowSource(const PreviewSource& source)
{
    m_source = source;
    if (m_macros.refresh())
        m_areMacrosPending = true;
    m_hasSource = true;
    // A caret's place belongs to the text it was given for.
    m_caretPlace = -1;
    m_isPending = true;
    sendPending();
}

// At most one text is on its way to the page; the page takes it at once and
// typesets it on its own time, so a later text goes as soon as the page has
// taken the one before, and the latest text always gets shown. A refresh that
// comes meanwhile replaces the waiting text.
void TWebBrowser::sendPending()
{
    if (!m_isPageReady || m_isInFlight || !m_isPending)
        return;
    m_isPending = false;
    m_isInFlight = true;
    m_sentText = m_source.text;
    PreviewSource source = m_source;
    if (!m_standingNotice.isEmpty())
        source.notice = source.notice.isEmpty() ? m_standingNotice : source.notice + u'\n' + m_standingNotice;
    QString script = m_pageText ? source.changeScript(*m_pageText) : source.script();
    // The page takes the macros file's definitions before the text, and
    // answers the text's serial number.
    if (m_areMacrosPending)
        script = m_macros.script() + u';' + script;
    m_areMacrosPending = false;
    const QPointer<TWebBrowser> self(this);
    m_page->runJavaScript(script, [self](const QVariant& result) {
        if (self)
            guarded(self.data(), [&] { self->onTaken(result); });
    });
    sendCaret();
}

void TWebBrowser::setStandingNotice(const QString& notice)
{
    if (notice == m_standingNotice)
        return;
    m_standingNotice = notice;
    if (!m_hasSource)
        return;
    m_isPending = true;
    sendPending();
}

void TWebBrowser::FollowCaret(qsizetype place)
{
    m_caretPlace = std::min(place, m_source.text.size());
    // A text waiting to go takes the place along; the page applies a place
    // to the text it was given last.
    if (!m_isPending)
        sendCaret();
}

void TWebBrowser::sendCaret()
{
    if (m_isPageReady && m_caretPlace >= 0)
        m_page->runJavaScript(QStringLiteral("preview.follow(%1)").arg(m_caretPlace));
}

void TWebBrowser::onTaken(const QVariant& result)
{
    m_isInFlight = false;
    bool isNumber = false;
    const int serial = result.toInt(&isNumber);
    m_pageText = isNumber && serial > 0 ? std::optional(m_sentText) : std::nullopt;
    if (isNumber && serial < 0) {
        // The page has another text than the pane thought: the whole
        // text goes again, unless a newer one is already waiting.
        m_isPending = true;
    } else if (isNumber) {
        m_takenSerial = serial;
        reportShown();
    } else {
        qCWarning(lcPreview) << "the page did not take the text";
    }
    sendPending();
}

// The page may say a text is shown before the pane hears that it took it.
void TWebBrowser::onPageShown(int serial, double ms)
{
    m_shownSerial = serial;
    m_shownMs = ms;
    reportShown();
}

void TWebBrowser::reportShown()
{
    if (m_takenSerial <= 0 || m_shownSerial != m_takenSerial)
        return;
    if (m_errorsSerial == m_takenSerial && m_pageText)
        emit formulaErrors(*m_pageText, m_errors);
    m_renderedSerial = m_takenSerial;
    m_takenSerial = 0;
    emit rendered(m_shownMs);
}

int TWebBrowser::Width() const
{
    return width();
}

void TWebBrowser::setWidth(int value)
{
    value = std::max(value, 0);
    if (value == width())
        return;
    resize(value, height());
}

int TWebBrowser::Height() const
{
    return height();
}

void TWebBrowser::setHeight(int value)
{
    value = std::max(value, 0);
    if (value == height())
        return;
    resize(width(), value);
}

void TWebBrowser::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_view->setGeometry(rect());
}

void TWebBrowser::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        guarded(this, [this] { pushPalette(); });
}

void TWebBrowser::loadPage()
{
    forgetPage();
    m_isLoadingPage = true;
    m_page->load(PreviewSchemeHandler::pageUrl());
}

// A render sent to a page that is being replaced, or whose process ended,
// never answers, and the new page shows nothing yet.
void TWebBrowser::forgetPage()
{
    m_isPageReady = false;
    m_isInFlight = false;
    m_pageText.reset();
    m_takenSerial = 0;
    m_shownSerial = 0;
    m_renderedSerial = 0;
    // A new page knows no macros file.
    m_areMacrosPending = m_macros.isUsed();
}

void TWebBrowser::onLoadFinished(bool ok)
{
    // A refused navigation also ends in a failed load, but leaves the page as
    // it was; only the pane's own loads change whether the page is ready.
    if (!ok) {
        if (m_isLoadingPage)
            qCWarning(lcPreview) << "the preview page failed to load";
        m_isLoadingPage = false;
        return;
    }
    m_isLoadingPage = false;
    m_isPageReady = true;
    m_isInFlight = false;
    m_keyboard->watchAll();
    pushPalette();
    // The text of a Navigate made while the page loaded, or the last one shown
    // if the page was loaded anew.
    if (m_hasSource)
        m_isPending = true;
    sendPending();
}

void TWebBrowser::onRenderProcessTerminated()
{
    qCWarning(lcPreview) << "the preview's render process ended; reloading the page";
    // The text that was being shown may be what ended the process, so it is
    // not shown again on its own; the next refresh shows the new text.
    if (m_hasSource) {
        m_source = PreviewSource {};
        m_source.notice = tr("The preview stopped while typesetting this text. It is shown again at the next refresh.");
    }
    forgetPage();
    // A process that ends again soon after each reload (an engine that
    // cannot draw here, a machine out of memory) would otherwise be started
    // over and over in a tight loop; the pause doubles each time, up to
    // half a minute, and a process that lasted drops it.
    constexpr qint64 SoonAfterReloadMs = 5000;
    constexpr int FirstPauseMs = 1000;
    constexpr int LongestPauseMs = 30000;
    const bool isSoonAfterReload = m_sinceReload.isValid() && m_sinceReload.elapsed() < SoonAfterReloadMs;
    m_reloadPauseMs = isSoonAfterReload ? std::clamp(2 * m_reloadPauseMs, FirstPauseMs, LongestPauseMs) : 0;
    m_reloadTimer->start(m_reloadPauseMs);
}

void TWebBrowser::onNavigationActionChanged(int command)
{
    QAction* action = m_page->action(command == CommandNavigateBack ? QWebEnginePage::Back : QWebEnginePage::Forward);
    bool& known = command == CommandNavigateBack ? m_isBackEnabled : m_isForwardEnabled;
    const bool enabled = action->isEnabled();
    if (enabled == known)
        return;
    known = enabled;
    guarded(this, [&] { OnCommandStateChange(this, command, enabled); });
}

void TWebBrowser::pushPalette()
{
    const QPalette& pal = palette();
    const QColor background = pal.color(QPalette::Window);
    const QColor text = pal.color(QPalette::WindowText);
    // A red that reads well on the background.
    const QColor error = background.lightnessF() < 0.5 ? QColor(0xff, 0x6e, 0x6e) : QColor(0xcc, 0x00, 0x00);
    m_page->setBackgroundColor(background);
    if (!m_isPageReady)
        return;
    const bool isDark = background.lightnessF() < 0.5;
    m_page->runJavaScript(QStringLiteral("preview.setPalette('%1', '%2', '%3', '%4', '%5', '%6')")
                              .arg(cssColor(background), cssColor(text), cssColor(error),
                                  cssColor(pal.color(QPalette::Highlight)), cssColor(pal.color(QPalette::HighlightedText)),
                                  isDark ? QStringLiteral("dark") : QStringLiteral("light")));
}
