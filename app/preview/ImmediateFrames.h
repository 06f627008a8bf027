#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// The web view draws through a widget that holds each new frame of the page
// back for 5 ms before drawing it, so that updates coming from several places
// at once are drawn together. The page's frames come from the engine whole,
// one at a time, so that wait only delays every refresh and every scrolled
// frame by a third of a screen refresh. This draws a waiting frame as soon as
// the event loop has nothing else to do.
class ImmediateFrames : public QObject {
public:
    // The view's drawing widget is looked up on each pass: the view makes a
    // new one when its page's process is restarted.
    ImmediateFrames(QWidget* view, QObject* parent);

private:
    void drawWaitingFrame();

    QPointer<QWidget> m_view;
    // A drawing widget whose timer went on after it was told to draw is left
    // to its own timing: that timer is not the wait known here.
    QPointer<QWidget> m_foreignWidget;
};
