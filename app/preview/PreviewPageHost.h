#pragma once

#include <QObject>

// The pane's side of the channel to the preview page: the page calls shown()
// when the text with the given serial number is shown with every formula
// typeset. Nothing else of the pane is reachable from the page.
class PreviewPageHost : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    void shown(int serial, double ms);

signals:
    void pageShown(int serial, double ms);
};
