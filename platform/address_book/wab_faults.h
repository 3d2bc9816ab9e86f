#pragma once
// Failure injection for tests: makes chosen calls of the address book fail as a broken file
// would, so that what the callers do with a failure can be tested. In normal runs nothing is
// armed and every check passes.
//
//   ScopedWabFault fault(WabCall::SaveChanges);          // the next SaveChanges fails
//   ScopedWabFault later(WabCall::QueryRows, 1);         // the second QueryRows fails, and every one after it

#include <cstdint>

namespace wab {

enum class WabCall {
    Open,       // WABOpen
    OpenEntry,  // of the book, the container or a list
    GetContentsTable,
    GetRowCount,
    QueryRows,
    GetProps,
    SetProps,
    DeleteProps,
    SaveChanges,    // fails inside the transaction, after the rows are written, before the commit
    CreateEntry,    // of the container, or a member of a list
    DeleteEntries,  // of the container: the entries themselves
    DeleteMembers,  // of a list: its member rows only
    Count_
};

// Throws WabError(Failed) when a fault is armed for the call and due.
void CheckFault(WabCall call);

class ScopedWabFault {
public:
    // The first `pass` calls succeed; then `failures` calls fail (a negative count: all that follow).
    explicit ScopedWabFault(WabCall call, int pass = 0, int failures = -1);
    ~ScopedWabFault();
    ScopedWabFault(const ScopedWabFault&) = delete;
    ScopedWabFault& operator=(const ScopedWabFault&) = delete;

    // How many calls failed so far.
    int Failed() const;

private:
    WabCall call_;
};

}  // namespace wab
