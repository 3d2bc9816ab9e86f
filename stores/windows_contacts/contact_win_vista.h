#pragma once
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "common/outlook_store.h"
#include "stores/windows_contacts/contact_file_record.h"
#include "stores/windows_contacts/contact_group_file.h"
#include "stores/windows_contacts/contacts_folder.h"

namespace ContactsVista {

// Where the store reports files it leaves out or cannot fully read: one line each.
using ContactsLogLine = std::function<void(const QString& line)>;

// Windows Contacts: one ".contact" file per contact and one ".group" file per group in the
// user's Contacts folder (see DetermineContactsFolder). A change check loads the whole folder;
// a new or changed contact's file is written during its request; deletions and group changes
// wait for the commit (Unload). Groups travel to and from the peer as "Categories".
//
// Identifiers are the file's contact identifier (36 characters) followed by twelve zeros.
// A file that is not well-formed XML or has no such identifier is left out with a log line:
// it is never listed, changed, moved or deleted.
class CContactWinVista : public COutlook {
public:
    // Follows the user's Contacts folder, determined again at every Load.
    explicit CContactWinVista(ContactsLogLine log = {});
    // Works in a fixed folder (tests, benchmarks).
    CContactWinVista(QString folder, ContactsLogLine log);

    // Writes a new file; fails (no record, no file) for a date that names no day, a group name
    // that cannot be a file name, or a file that cannot be written.
    void Add(ItemRecord& record, QString& id) override;
    // Edit, Delete and Get take a contact that no record holds from its file in the folder
    // (LoadedOrOnDisk).
    //
    // Rewrites the contact's file (once per file when a repeated Load holds copies), moving it
    // when its name changes. Works on a copy: a failure leaves the record and the file as they
    // were. Throws for an identifier no record and no file holds.
    void Edit(ItemRecord& record, const QString& id) override;
    // Marks the contact; its file and group memberships go at the commit. An identifier no file
    // holds changes nothing.
    void Delete(const QString& id) override;
    void DeleteAll() override;
    // Throws for an identifier no record and no file holds. The groups sent (and hashed by
    // IDtoCRC32) are those the contact has once the pending changes are committed, as the next
    // load will read them.
    void Get(const QString& id, ItemRecord& record) override;
    // Every record's identifier but those of contacts whose deletion is owed (every copy).
    void GetIDs(QStringList& ids) override;
    // 0 for an unknown identifier.
    std::uint32_t IDtoCRC32(const QString& id) override;

    // The moments of a synchronisation: a check creates the folder and loads it; a delete-all
    // loads before and commits after emptying; the load of a state, a release and the client's
    // departure forget the records (but those owing the files a change); the save of a state
    // commits and keeps the contacts as the files then hold them, since the peer may go on with
    // them in the same synchronisation.
    void BeforeCheck(const QString&) override { PrepareToCheck(); }
    void BeforeEmpty(const QString&) override { Load(); }
    void AfterEmpty(bool emptied) override
    {
        if (emptied) Unload();
    }
    void AtStateLoad(const QString&) override { ClearRecords(); }
    CommitOutcome AtStateSave() override;
    void AtRelease() override { ClearRecords(); }
    void AtDeparture() override { ClearRecords(); }
    QString CategoryNames() override { return GetGroupNames(); }

    // Creates the Contacts folder when it is missing, then loads it.
    void PrepareToCheck();

    void CreateContactsFolder();
    // Appends a record for every usable contact file and the memberships of the group files.
    // A folder or file that exists but cannot be read fails the load: leaving contacts out would
    // tell the peer they were deleted.
    void Load();
    // Applies deletions and group changes (every change is attempted) and empties the records,
    // but for those of contacts whose changes did not all reach the files, which stay to be
    // committed again. The outcome names each file that could not be changed and gives what the
    // files now say of those contacts.
    bool HoldsUnwrittenChanges() const override;
    CommitOutcome CommitChanges() override;
    // The same, throwing naming each file that could not be changed.
    void Unload();
    // Forgets the loaded records, but for those holding a deletion or group change that no commit
    // has written yet; touches no file.
    void ClearRecords();
    // The title of every ".group" file, each followed by ",".
    QString GetGroupNames();

    QString ContactsFolder() const { return folder_; }
    const std::vector<ContactFileRecord>& Records() const { return records_; }

    // Normalises the incoming texts (not the dates or the picture): CR LF and CR become LF,
    // blanks, tabs and line breaks at either end go.
    static void DeleteFirstNulls(ItemRecord& record);

private:
    // The commit; `keepWritten`: the records whose changes were all written stay, as the files
    // now hold them (deleted contacts gone, the others unchanged, in their groups as written).
    CommitOutcome Commit(bool keepWritten);
    // Appends a record for every listed contact file but those at `skippedPaths`, and the
    // memberships of the listed group files in the records it appended.
    void LoadListed(const ContactFolderListing& listing, const QSet<QString>& skippedPaths);
    // The records of the identifier; with none, the contact file of the folder that holds it
    // (none: no record) is loaded first.
    const std::vector<int>& LoadedOrOnDisk(const QString& id);
    void DetermineFolder();
    // A listed file's path: the listing takes regular files only, so no link is among them.
    QString PathOf(const QString& fileName) const;
    // The path of a file about to be written; throws when a link there leads out of the folder.
    QString WritablePathOf(const QString& fileName) const;
    // A group name becomes a file name in the Contacts folder: refused names throw.
    QString GroupPath(const QString& title) const;
    void Append(ContactFileRecord record);
    const std::vector<int>& Matches(const QString& id) const;
    // Copies the fields of an incoming record into `target`; throws before changing anything
    // for a malformed date or a refused group name.
    void ApplyFields(const ItemRecord& in, ContactFileRecord& target, bool adding) const;
    // Titles (lower case) of whatever is named like a contact file on disk, links included.
    QSet<QString> TitlesOnDisk() const;
    QString ChooseTitle(const ContactFileRecord& record, const QString& ownPath) const;
    void RewriteFile(const ContactFileRecord& before, ContactFileRecord& after) const;
    void Note(const QString& file, const QString& what) const;
    // A listed file's bytes; a file that is no regular file or too large is noted with the
    // consequence and gives nothing, as a missing one does. Throws when it cannot be read.
    std::optional<QByteArray> ReadDamageableFile(const QString& path, const QString& consequence) const;
    // `groupsOnDisk`: the group files found at a commit, whose titles a name may take.
    QStringList EffectiveGroups(const ContactFileRecord& record, const QStringList& groupsOnDisk = {}) const;
    // Forgets every record but those `keep` picks, the index and the known groups with them,
    // and gives the memory they held back.
    void ForgetRecordsBut(const std::function<bool(const ContactFileRecord&)>& keep);

    // Group files at the commit.
    QString GroupTitle(const QString& name, const QStringList& groupsOnDisk) const;
    void LeaveGroup(const QString& title, const QSet<QString>& ids) const;
    void JoinGroup(const QString& title, const std::vector<GroupMemberRef>& members);

    std::optional<QString> fixedFolder_;
    ContactsLogLine log_;
    QString folder_;
    std::vector<ContactFileRecord> records_;
    QHash<QString, std::vector<int>> index_;
    QStringList knownGroups_;
};

}  // namespace ContactsVista
