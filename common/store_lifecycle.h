#pragma once
// The moments of the protocol at which every store is told, the same way whatever its source: the
// requests and the store set call these on the selected stores and name no source. Each call does
// nothing by default, so a store overrides only the moments it has a need at.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/errors.h"

// What a commit wrote. Failures name each file that kept its old content and why; where a commit
// wrote some changes and not others, `onDisk` gives, for each item whose changes did not all
// reach the files, its checksum as the files hold it now (none: no file holds the item), so
// that the state saved after it describes the files.
struct CommitOutcome {
    struct ItemOnDisk {
        QString id;
        std::optional<std::uint32_t> checksum;
    };
    QStringList failures;
    std::vector<ItemOnDisk> onDisk;
};

// The program behind a source could not be reached (started, connected). `checkStep` is the
// step a failed change check names in its log line ("<request><checkStep>...error").
class SourceUnreachable : public AgentError {
public:
    SourceUnreachable(const std::string& reason, QString checkStep)
        : AgentError(reason), checkStep_(std::move(checkStep))
    {
    }
    const QString& CheckStep() const { return checkStep_; }

private:
    QString checkStep_;
};

class StoreLifecycle {
public:
    virtual ~StoreLifecycle() = default;

    // Before a change check or a delete-all touches the store: reaches the program that keeps
    // the source (throws SourceUnreachable when it cannot).
    virtual void Connect() {}
    // Before a change check reads the identifiers, for the peer `peerId`: creates what is
    // missing, loads or indexes what the check reads.
    virtual void BeforeCheck(const QString& peerId) {}
    // After a change check, with the identifiers the peer's state knew and the store no longer
    // lists.
    virtual void AfterCheck(const QStringList& goneIds) {}
    // Before a delete-all empties the store for the peer, and after it, `emptied` telling
    // whether the store was emptied (false: it failed, or there was nothing to empty).
    virtual void BeforeEmpty(const QString& peerId) {}
    virtual void AfterEmpty(bool emptied) {}

    // The load of the peer's saved state: what was loaded for an earlier one is read anew.
    virtual void AtStateLoad(const QString& peerId) {}
    // The save of the peer's state, before the state list is written: the state describes the
    // files, so the changes held are written first (CommitChanges). Throws what forbids the save
    // of the state; a partial commit is returned as the commit's outcome.
    virtual CommitOutcome AtStateSave() { return CommitChanges(); }

    // Whether changes are held in memory that no commit has written yet. A store that holds
    // none needs neither of these.
    virtual bool HoldsUnwrittenChanges() const { return false; }
    // Writes the changes held. A store that writes all or nothing throws AgentError naming the
    // file and the reason, and keeps its changes; one that wrote part of them returns what failed.
    // A commit that fails keeps the changes, to be written at the next chance (the next save,
    // the end of the synchronisation, the client's departure, the next start).
    virtual CommitOutcome CommitChanges() { return {}; }

    // The start of a synchronisation. True when it opened a session (a database, a loaded copy),
    // which AtSyncEnd closes (writes back) at the end of the synchronisation or at a release;
    // AtSyncEnd follows only a successful opening.
    virtual bool AtSyncStart() { return false; }
    virtual void AtSyncEnd() {}
    // A release (the end of a synchronisation, the client's departure, suspend, exit), chosen or
    // not: ends a connection held between requests and forgets what was loaded for the
    // synchronisation (but changes not yet written). Must be safe when nothing is connected.
    virtual void AtRelease() {}
    // The client's departure: forgets what was loaded for it; touches no file.
    virtual void AtDeparture() {}
};
