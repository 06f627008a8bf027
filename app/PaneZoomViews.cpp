#include "app/PaneZoomViews.h"

#include "app/PaneZoom.h"
#include "app/preview/TWebBrowser.h"
#include "controls/TMemo.h"
#include "core/ExceptionBoundary.h"

#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace PaneZoomViews {

void Follow(PaneZoom& zoom, TMemo& editor)
{
    const QFont designed = editor.font();
    QPointer<TMemo> view(&editor);
    zoom.SetOnChange([view, designed](int percent) {
        if (!view)
            return;
        QFont font = designed;
        if (designed.pointSizeF() > 0)
            font.setPointSizeF(designed.pointSizeF() * percent / 100);
        else
            font.setPixelSize(qMax(1, designed.pixelSize() * percent / 100));
        view->setFont(font);
        view->ensureCursorVisible();
    });
}

void Follow(PaneZoom& zoom, TWebBrowser& preview)
{
    QPointer<TWebBrowser> browser(&preview);
    const auto apply = [browser](int percent) {
        if (browser && browser->page())
            browser->page()->setZoomFactor(percent / 100.0);
    };
    zoom.SetOnChange(apply);
    QPointer<PaneZoom> zoomKept(&zoom);
    QObject::connect(preview.view(), &QWebEngineView::loadFinished, &zoom, [zoomKept, apply] {
        if (zoomKept)
            guarded(zoomKept.data(), [&] { apply(zoomKept->Percent()); });
    });
}

} // namespace PaneZoomViews
