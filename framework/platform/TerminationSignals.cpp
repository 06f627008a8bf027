#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> HandledSignals { SIGTERM, SIGHUP, SIGINT };

// The pipe's ends; -1 while no handlers are installed.
int readEnd = -1;
int writeEnd = -1;

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request to end: losing this one is harmless.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

void setAction(int signalNumber, void (*action)(int))
{
    struct sigaction request = {};
    request.sa_handler = action;
    sigemptyset(&request.sa_mask);
    request.sa_flags = SA_RESTART;
    sigaction(signalNumber, &request, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    if (readEnd >= 0)
        return; // another set already has the signals
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd = ends[0];
    writeEnd = ends[1];
    m_notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignals);
    for (int signalNumber : HandledSignals)
        setAction(signalNumber, onTerminationSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    for (int signalNumber : HandledSignals)
        setAction(signalNumber, SIG_DFL);
    ::close(readEnd);
    ::close(writeEnd);
    readEnd = writeEnd = -1;
}

void TerminationSignals::readSignals()
{
    unsigned char byte = 0;
    while (::read(readEnd, &byte, 1) == 1) {
        if (m_handler)
            m_handler(byte);
    }
}
