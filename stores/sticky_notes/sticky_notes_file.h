#pragma once
// The Windows 7 Sticky Notes file, "StickyNotes.snt": a compound file holding
//
//   "Metafile"   a 110-byte header (the note count at byte 44), then one 184-byte entry per
//                note: 44, 96 bytes of the note's metadata (window place, creation time...),
//                the next note's id (20 UTF-16 units and a zero unit), the note's own id
//                (20 units), 0
//   "Version"    the 32-bit value 2
//   <id>         one storage per note, named by its 20-character id (8-4-4 hexadecimal groups,
//                dashes and one more digit): "0" the RTF text (the program ends it with a NUL
//                byte), "1" ten bytes, "3" a preview of the plain text (its first 50 units and
//                a zero unit)
//
// The entries are in the order the program shows the notes. Their "next id" fields form a
// chain that the program does not keep reliably (the last one holds stale bytes), so the order
// of the entries is what counts and the chain is rebuilt from it on writing.
//
// What a rewrite keeps of a loaded file, since the program may rely on it: the header (only the
// count changes), each note's storage name and id as spelled, its metadata, its stream "1" and
// any other entry of its storage, and the root entries that are not notes.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <vector>

#include "stores/sticky_notes/compound_file.h"

// One note.
struct StickyNoteRecord {
    // The 96 bytes that follow the 44 of its "Metafile" entry, kept as read.
    QByteArray metadata;
    // The 48-unit item identifier: the 20-unit id in upper case, then 28 "0".
    QString id;
    // The id as its "Metafile" entry spells it, and the name of its storage as the file
    // spells it: a rewrite keeps both (the program writes them in lower case).
    QString metafileId;
    QString storageName;
    // Stream "0": the RTF text as stored (its terminating NUL included when it has one).
    QByteArray rtf;
    // Stream "3": the plain text (the program keeps a preview there) as stored.
    QString plainText;
    // Stream "1", and the storage's other entries, kept as read.
    QByteArray stream1;
    std::vector<CompoundEntry> otherEntries;
};

struct StickyNotesFile {
    // The "Metafile" header as read; a rewrite changes only its count.
    QByteArray header;
    std::vector<StickyNoteRecord> notes;
    // Root entries that are neither "Metafile", "Version" nor a listed note's storage.
    std::vector<CompoundEntry> otherRootEntries;

    // A file with no notes, with the header the agent writes into a new file.
    static StickyNotesFile Empty();
    // Reads a whole file. Throws MalformedData naming what is wrong when it is not a compound
    // file, lacks "Metafile", lists more notes than "Metafile" holds, or lists a note whose
    // storage or streams "0" and "3" are missing.
    static StickyNotesFile Parse(const QByteArray& bytes);
    // The bytes of the file. Throws AgentError when the notes cannot be laid out (a storage
    // name the format cannot hold, two notes with one storage).
    QByteArray Serialize() const;

    // Stream "0" as the program writes it: the RTF bytes and a terminating NUL byte.
    static QByteArray RtfStream(const QByteArray& rtf);
    // Stream "3" as the program writes it: the first 50 units of the plain text and a zero unit.
    static QString PreviewStream(const QString& plainText);

    // A new note's record with the metadata of a note created at `createdUtc`, stream "1" of
    // the program's ten bytes and the storage named by `nativeId` (20 units).
    static StickyNoteRecord NewNote(const QString& nativeId, const QDateTime& createdUtc);
};

// The 48-unit item identifier of a 20-unit note id.
QString StickyNoteItemId(const QString& nativeId);
