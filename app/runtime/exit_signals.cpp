#include "app/runtime/exit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace {

constexpr std::array<int, 3> kExitSignals = {SIGTERM, SIGHUP, SIGINT};
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[kExitSignals.size()];

void OnSignal(int signalNumber)
{
    // Only async-signal-safe work here: one byte into the pipe.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    (void)!::write(gPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

ExitSignalWatcher::ExitSignalWatcher(QObject* parent) : QObject(parent)
{
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignalWatcher::OnReadable);
    for (std::size_t i = 0; i < kExitSignals.size(); ++i) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(kExitSignals[i], &action, &gPrevious[i]);
    }
}

ExitSignalWatcher::~ExitSignalWatcher()
{
    if (gPipe[0] < 0) return;
    for (std::size_t i = 0; i < kExitSignals.size(); ++i)
        ::sigaction(kExitSignals[i], &gPrevious[i], nullptr);
    delete notifier_;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void ExitSignalWatcher::OnReadable()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(gPipe[0], &byte, 1) == 1) last = byte;
    if (last != 0) emit exitRequested(last);
}
