#pragma once
// The notes of the Windows 7 Sticky Notes program (notes source 0x10000), all kept in one
// file, "<application data>/Microsoft/Sticky Notes/StickyNotes.snt". A synchronisation opens
// the store (the file is loaded), the note requests work on the loaded copy, and closing the
// store writes the file back when something changed.
//
// A file that exists but does not load completely is never written: the store then serves no
// note and every note operation fails with the reason, since a partial list would make the
// peer delete the notes that did not load, and a rewrite would lose them for good.
//
// Changes the write-back could not take are never given up while the agent runs. They are
// served on within the synchronisation that made them while the file stands as it was read (a
// full disk); once the file is missing (or is no regular file), or once that synchronisation has
// ended, the notes are withheld: every note operation fails naming the file, so that no peer is
// told of notes that are on no disk, until a write-back succeeds.

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

    // A larger file is refused as a damaged one: a notes file holds typed text, a few KiB a
    // note, and the whole file is held several times over while it is read and written.
    static constexpr qint64 kMaxFileBytes = qint64{64} * 1024 * 1024;

    // Loads the file. A missing file is a complete load of no notes; a file that cannot be
    // read, is no regular file, is larger than kMaxFileBytes or is damaged leaves the store
    // without notes and makes every note operation fail.
    void Open();
    // Writes the file when an operation changed the notes since Open or the last write, built
    // whole in memory and replacing the old file atomically (the folder is created when missing).
    // Throws when the write fails; the old file is then left as it was and the changes are kept.
    // When the file the notes were read from is missing or is no regular file, the changes are
    // kept and withheld: every note operation fails until a write succeeds. A file that another
    // program changed since it was read or written (identity, size, modification time or bytes)
    // is not written over: the changes are given up, the file is read again, and the failure
    // names it.
    void Close();
    // The synchronisation's session. Its start writes changes an earlier one could not write;
    // while they still cannot be, they are kept and withheld, and the file is not read anew. Its
    // end is Close; changes it cannot write are withheld from the synchronisations after it.
    bool AtSyncStart() override;
    void AtSyncEnd() override;
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
    // Why the changes held are not served, while they are not.
    std::optional<QString> withheld_;
    // The file as the notes were read from it or last written to it.
    LoadedFileIdentity loadedAs_;
};
