#pragma once
#include <QStringList>

class StoreLifecycle;
class StateList;

// The step before a saved state is written, the same for every store (StoreLifecycle::AtStateSave):
// the changes it holds in memory are committed first, so that the state describes what
// the files hold. A commit that wrote nothing throws, and the state must not be written. One that
// wrote part of the changes returns its failures, after making the list's entries of the items it
// could not write describe the files (`list` may be null); the state is then written and the
// request answers AS_ERROR naming the failures (FailAfterPartialCommit). Nothing to do without
// a store.
QStringList CommitBeforeStateSave(StoreLifecycle* store, StateList* list);

// Throws AgentError naming the failures of a partial commit, when there are any.
void FailAfterPartialCommit(const QStringList& failures);
