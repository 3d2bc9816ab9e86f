#include "app/runtime/exit_signals.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>

#include "support/qt_event_loop.h"

namespace {

constexpr std::array<int, 3> kExitSignals = {SIGTERM, SIGHUP, SIGINT};

volatile std::sig_atomic_t gReceivedByOwnHandler = 0;

void OwnHandler(int signalNumber)
{
    gReceivedByOwnHandler = signalNumber;
}

struct sigaction ActionOf(int signalNumber)
{
    struct sigaction current {};
    ::sigaction(signalNumber, nullptr, &current);
    return current;
}

// The handlers a program had before the watcher came, with a mask and a flag the watcher does
// not use, so that a restore of the handler alone shows.
class ExitSignalWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApplication();
        gReceivedByOwnHandler = 0;
        for (std::size_t i = 0; i < kExitSignals.size(); ++i) {
            struct sigaction own {};
            own.sa_handler = OwnHandler;
            sigemptyset(&own.sa_mask);
            sigaddset(&own.sa_mask, SIGUSR2);
            own.sa_flags = SA_NODEFER;
            ::sigaction(kExitSignals[i], &own, &runner_[i]);
        }
    }
    void TearDown() override
    {
        for (std::size_t i = 0; i < kExitSignals.size(); ++i)
            ::sigaction(kExitSignals[i], &runner_[i], nullptr);
    }

    std::array<struct sigaction, kExitSignals.size()> runner_{};
};

TEST_F(ExitSignalWatcherTest, RestoresTheOldHandlersWhenDestroyed)
{
    // Twice: a second watcher after the first must find and give back the same handlers.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        {
            ExitSignalWatcher watcher;
            int requested = 0;
            QObject::connect(&watcher, &ExitSignalWatcher::exitRequested, [&](int s) { requested = s; });
            for (int s : kExitSignals) EXPECT_NE(ActionOf(s).sa_handler, &OwnHandler) << s;
            ::raise(SIGHUP);
            EXPECT_TRUE(ProcessEventsUntil([&] { return requested != 0; }));
            EXPECT_EQ(requested, SIGHUP);
            EXPECT_EQ(gReceivedByOwnHandler, 0) << "the old handler runs no more while the watcher stands";
        }
        for (int s : kExitSignals) {
            const struct sigaction restored = ActionOf(s);
            EXPECT_EQ(restored.sa_handler, &OwnHandler) << s;
            EXPECT_TRUE(sigismember(&restored.sa_mask, SIGUSR2)) << s;
            EXPECT_TRUE(restored.sa_flags & SA_NODEFER) << s;
            ::raise(s);
            EXPECT_EQ(gReceivedByOwnHandler, s);
        }
        gReceivedByOwnHandler = 0;
    }
}

}  // namespace
