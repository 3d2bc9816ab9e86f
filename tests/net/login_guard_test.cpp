// Password guessing: five failures within a minute block an address for a minute.
#include "net/login_guard.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(LoginGuardTest, FiveFailuresWithinAMinuteBlockTheAddressForAMinute)
{
    LoginGuard guard;
    const auto t0 = LoginGuard::Clock::time_point{} + 1000s;
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(guard.Failed(QStringLiteral("10.0.0.1"), t0 + i * 1s));
    EXPECT_FALSE(guard.Blocked(QStringLiteral("10.0.0.1"), t0 + 5s));
    EXPECT_TRUE(guard.Failed(QStringLiteral("10.0.0.1"), t0 + 5s));
    EXPECT_TRUE(guard.Blocked(QStringLiteral("10.0.0.1"), t0 + 30s));
    EXPECT_FALSE(guard.Blocked(QStringLiteral("10.0.0.2"), t0 + 30s));
    EXPECT_FALSE(guard.Blocked(QStringLiteral("10.0.0.1"), t0 + 66s));

    // Failures spread wider than a minute never add up to five.
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(guard.Failed(QStringLiteral("10.0.0.3"), t0 + i * 15s));

    // A right password forgets the failures before it.
    for (int i = 0; i < 4; ++i) guard.Failed(QStringLiteral("10.0.0.4"), t0);
    guard.Succeeded(QStringLiteral("10.0.0.4"));
    EXPECT_FALSE(guard.Failed(QStringLiteral("10.0.0.4"), t0 + 1s));
}

}  // namespace
