#include "dispatch/state_commit.h"

#include <QSet>
#include <vector>

#include "common/errors.h"
#include "dispatch/state_file.h"
#include "common/store_lifecycle.h"

QStringList CommitBeforeStateSave(StoreLifecycle* store, StateList* list)
{
    if (!store) return {};
    const CommitOutcome outcome = store->AtStateSave();
    if (list && !outcome.onDisk.empty()) {
        // One pass over the list, however many items a failed group file left unwritten.
        QSet<QString> unwritten;
        for (const CommitOutcome::ItemOnDisk& item : outcome.onDisk) unwritten.insert(item.id);
        std::erase_if(list->MutableEntries(), [&](const StateEntry& e) { return unwritten.contains(e.id); });
        for (const CommitOutcome::ItemOnDisk& item : outcome.onDisk)
            if (item.checksum) list->Append(item.id, *item.checksum);
    }
    return outcome.failures;
}

void FailAfterPartialCommit(const QStringList& failures)
{
    if (failures.isEmpty()) return;
    throw AgentError(QStringLiteral("the state was saved as the files hold it, but these changes could not be "
                                    "written: %1")
                         .arg(failures.join(QStringLiteral(", ")))
                         .toStdString());
}
