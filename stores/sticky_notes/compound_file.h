#pragma once
// A compound file (structured storage: storages holding streams and further storages) read
// whole into memory by a reader of our own, linear in the file's size, and written whole from it
// through libgsf.
//
// Entry names compare without regard to case, as they do in the format itself: a writer that
// changed the case of a name still addresses the same entry. Names keep the spelling they
// were read with, so a file written back spells them as before.

#include <QByteArray>
#include <QString>
#include <vector>

struct CompoundEntry {
    QString name;
    bool isStorage = false;
    // A stream's bytes; empty for a storage.
    QByteArray data;
    // A storage's entries in the order the file lists them; empty for a stream.
    std::vector<CompoundEntry> children;

    static CompoundEntry Stream(const QString& name, const QByteArray& data);
    static CompoundEntry Storage(const QString& name, std::vector<CompoundEntry> children = {});

    // The child of that name (any case), or nullptr.
    const CompoundEntry* Child(const QString& childName) const;
};

// Whether two entry names address the same entry.
bool SameEntryName(const QString& a, const QString& b);
// The form two names that address the same entry share, for indexes keyed by name.
QString EntryNameKey(const QString& name);

// Reads a whole compound file; the result is its root storage, each storage's entries in the
// order of the file's directory. A file whose last sector is cut short (the program that writes
// these files leaves such files) reads as if the missing bytes were zeros. Throws MalformedData
// when the bytes are not a compound file or its tables, chains or directory are damaged: a
// sector or entry out of range, a chain shorter than its stream or running in a loop, an entry
// reached twice, storages nested over 32 deep.
CompoundEntry ReadCompoundFile(const QByteArray& bytes);

// The bytes of a compound file holding the root's children. Throws AgentError for a name the
// format cannot hold (empty, longer than 31 units, holding "/", "\", ":" or "!") or for two
// children of one storage with the same name, and when the library fails.
QByteArray WriteCompoundFile(const CompoundEntry& root);
