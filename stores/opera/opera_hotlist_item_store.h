#pragma once
#include <QString>

#include "common/outlook_store.h"
#include "stores/opera/opera_hotlist_file.h"
#include "stores/opera/opera_item_ids.h"

// What Opera's contacts and notes stores share: a hotlist file loaded at the start of a
// synchronisation and written back at its end, whose visible items (those outside trash folders)
// carry identifiers made from one identifying key. Items in trash folders stay in the file but
// are invisible to the peer.
class OperaHotlistItemStore : public COutlook {
public:
    // The session (OperaHotlistFile): Open starts it, Close ends it.
    void Open() { file_.Start(); }
    void Close() { file_.End(); }
    bool AtSyncStart() override
    {
        Open();
        return true;
    }
    void AtSyncEnd() override { Close(); }
    bool HoldsUnwrittenChanges() const override { return file_.HoldsUnwrittenChanges(); }
    // Writes the hotlist when it changed; the session goes on with it.
    CommitOutcome CommitChanges() override;
    void Delete(const QString& id) override;
    // Reads the file again (dropping unsaved changes; refused while changes are withheld),
    // removes every visible item and writes the file.
    void DeleteAll() override;
    void GetIDs(QStringList& ids) override;

    const OperaHotlistFile& File() const { return file_; }

protected:
    // `itemName` names an item in error texts ("contact", "note").
    OperaHotlistItemStore(OperaHotlistFile file, QString identifyingKey, QString itemName);

    const OperaItemIds& Ids();
    // The item of a visible identifier; throws AgentError for any other.
    int Require(const QString& id);

    OperaHotlistFile file_;
    OperaItemIds ids_;

private:
    QString identifyingKey_;
    QString itemName_;
    bool idsStale_ = true;
};
