#pragma once
#include <QHash>
#include <QString>
#include <chrono>
#include <deque>

// Keeps password guessing expensive: five failed logins from one address within a minute end
// that peer's connection and keep the address out for a minute. A right password forgets the
// address's failures.
class LoginGuard {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxFailures = 5;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr std::chrono::seconds kBlockFor{60};

    // Records a failed login; true when it is the one too many (the address is blocked from now).
    bool Failed(const QString& address, Clock::time_point now = Clock::now());
    void Succeeded(const QString& address);
    bool Blocked(const QString& address, Clock::time_point now = Clock::now());

private:
    struct Record {
        std::deque<Clock::time_point> failures;
        Clock::time_point blockedUntil{};
    };
    QHash<QString, Record> records_;
};
