#pragma once

class PaneZoom;
class TMemo;
class TWebBrowser;

// What each pane's zoom changes: the editor's font size, from the size it
// was made with, and the page's zoom factor, which a reloaded page gets again.
// The editor keeps its caret in view.
namespace PaneZoomViews {
void Follow(PaneZoom& zoom, TMemo& editor);
void Follow(PaneZoom& zoom, TWebBrowser& preview);
} // namespace PaneZoomViews
