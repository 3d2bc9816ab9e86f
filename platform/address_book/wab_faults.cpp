#include "platform/address_book/wab_faults.h"

#include <array>
#include <string>

#include "platform/address_book/wab_types.h"

namespace wab {

namespace {

struct Fault {
    bool armed = false;
    int pass = 0;
    int failures = 0;
    int failed = 0;
};

// Every call of the book comes from the one thread that serves requests.
std::array<Fault, static_cast<std::size_t>(WabCall::Count_)>& Faults()
{
    static std::array<Fault, static_cast<std::size_t>(WabCall::Count_)> faults;
    return faults;
}

const char* CallName(WabCall call)
{
    static constexpr const char* kNames[] = {
        "WABOpen",  "OpenEntry",   "GetContentsTable", "GetRowCount", "QueryRows",     "GetProps",
        "SetProps", "DeleteProps", "SaveChanges",      "CreateEntry", "DeleteEntries", "DeleteMembers",
    };
    return kNames[static_cast<int>(call)];
}

}  // namespace

void CheckFault(WabCall call)
{
    Fault& fault = Faults()[static_cast<std::size_t>(call)];
    if (!fault.armed) return;
    if (fault.pass > 0) {
        --fault.pass;
        return;
    }
    if (fault.failures == 0) return;
    if (fault.failures > 0) --fault.failures;
    ++fault.failed;
    throw WabError(WabStatus::Failed, std::string("injected failure of ") + CallName(call));
}

ScopedWabFault::ScopedWabFault(WabCall call, int pass, int failures) : call_(call)
{
    Faults()[static_cast<std::size_t>(call)] = Fault{true, pass, failures, 0};
}

ScopedWabFault::~ScopedWabFault()
{
    Faults()[static_cast<std::size_t>(call_)] = Fault{};
}

int ScopedWabFault::Failed() const
{
    return Faults()[static_cast<std::size_t>(call_)].failed;
}

}  // namespace wab
