#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT into a call on the user-interface thread.
// The signal handler itself only writes the signal's number into a pipe that
// the event loop watches, the one thing that is safe to do there. One set of
// handlers exists per process; destroying it puts the default ones back.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(int signalNumber)>;

    TerminationSignals(Handler handler, QObject* parent);
    ~TerminationSignals() override;

    // False when the pipe or the handlers could not be set up; the signals
    // then keep their default action.
    bool IsInstalled() const { return m_notifier != nullptr; }

private:
    void readSignals();

    Handler m_handler;
    QSocketNotifier* m_notifier = nullptr;
};
