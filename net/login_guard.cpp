#include "net/login_guard.h"

bool LoginGuard::Failed(const QString& address, Clock::time_point now)
{
    Record& r = records_[address];
    r.failures.push_back(now);
    while (!r.failures.empty() && now - r.failures.front() >= kWindow) r.failures.pop_front();
    if (static_cast<int>(r.failures.size()) < kMaxFailures) return false;
    r.failures.clear();
    r.blockedUntil = now + kBlockFor;
    return true;
}

void LoginGuard::Succeeded(const QString& address) { records_.remove(address); }

bool LoginGuard::Blocked(const QString& address, Clock::time_point now)
{
    const auto it = records_.find(address);
    if (it == records_.end()) return false;
    if (now < it->blockedUntil) return true;
    // Old records go, so a peer cycling through addresses cannot grow the table for long.
    if (it->failures.empty() || now - it->failures.back() >= kWindow) records_.erase(it);
    return false;
}
