#pragma once
// The notes of the Windows 7 Sticky Notes program (notes source 0x10000), all kept in one
// file, "<application data>/Microsoft/Sticky Notes/StickyNotes.snt". A synchronisation opens
// the store (the file is loaded), the note requests work on the loaded copy, and closing the
// store writes the file back when something changed.
//
// A file that exists but does not load completely is never written: the store then serves no
// note and every note operation fails with the reason, since a partial list would make the
// peer delete the notes that did not load, and a rewrite would lose them for good.

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <optional>

#include "common/outlook_store.h"
#include "platform/loaded_file_identity.h"
#include "stores/sticky_notes/sticky_notes_file.h"

class CWin7_StikyNotes : public COutlook {
public:
    // Where the store's log lines go (one per damaged file); may be empty.
    using LogSink = std::function<void(const QString& line)>;

    // `path` empty: the file's place under the user's application data, looked up at Open.
    explicit CWin7_StikyNotes(LogSink log = {}, QString path = {});

    // The file's place under the user's application data at this moment.
    static QString DefaultPath();

    // Loads the file. A missing file is a complete load of no notes; a file that cannot be
    // read or is damaged leaves the store without notes and makes every note operation fail.
    void Open();
    // Writes the file when an operation changed the notes since Open or the last write, built
    // whole in memory and replacing the old file atomically (the folder is created when missing).
    // Throws when the write fails; the old file is then left as it was and the changes are kept.
    // A file that another program changed since it was read or written (size, modification time
    // or identity) is not written over: the changes are given up, the file is read again, and
    // the failure names it.
    void Close();
    // The synchronisation's session is Open and Close.
    bool AtSyncStart() override
    {
        Open();
        return true;
    }
    void AtSyncEnd() override { Close(); }
    bool HoldsUnwrittenChanges() const override { return !damage_ && changed_; }
    // Writes the file when the notes changed (Close).
    CommitOutcome CommitChanges() override;

    void Add(ItemRecord& record, QString& id) override;
    void Edit(ItemRecord& record, const QString& id) override;
    void Delete(const QString& id) override;
    void DeleteAll() override;
    void Get(const QString& id, ItemRecord& record) override;
    void GetIDs(QStringList& ids) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

    // Field names of the item record.
    static const QString kBodyField;       // the RTF text
    static const QString kPlainTextField;  // the plain text

private:
    // Throws the reason the file did not load, when it did not.
    void RequireLoaded() const;
    StickyNoteRecord* Find(const QString& id);
    // Rebuilds positions_ from the notes as loaded.
    void Reindex();
    QString NewNativeId() const;

    LogSink log_;
    QString configuredPath_;
    QString path_;
    StickyNotesFile file_ = StickyNotesFile::Empty();
    // Each identifier's place in file_.notes (its first note's, should two share one), so that
    // the check and the Gets of a synchronisation cost the same per note however many there are.
    QHash<QString, std::size_t> positions_;
    std::optional<QString> damage_;
    bool changed_ = false;
    // The file as the notes were read from it or last written to it.
    LoadedFileIdentity loadedAs_;
};
