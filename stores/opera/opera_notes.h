#pragma once
#include <QString>
#include <cstdint>

#include "stores/opera/opera_hotlist_item_store.h"

// Opera's notes ("notes.adr" in Opera's profile folder), loaded at the start of a
// synchronisation and written back at its end. A note travels as "Subject" (its first line) and
// "Body" (its whole text); in the file its text is the NAME value with AdrLineBreak for line
// breaks. Notes in trash folders stay in the file but are invisible to the peer.
class COperaNotes : public OperaHotlistItemStore {
public:
    COperaNotes();
    // Works on the file at `path` (tests, benchmarks).
    explicit COperaNotes(const QString& path);

    // Every "Body" field adds one note; the identifier of the last is returned. A record without
    // "Body" fails.
    void Add(ItemRecord& record, QString& id) override;
    // Changes the note's text in place: it keeps its folder, its ID and every other key.
    void Edit(ItemRecord& record, const QString& id) override;
    void Get(const QString& id, ItemRecord& record) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

    // The first line of a stored text: up to its first AdrLineBreak, the whole text when it has
    // none or begins with one.
    static QString SubjectOf(const QString& text);
    // A stored text as the peer reads it: every U+0002 becomes a line feed and swallows the
    // character after it.
    static QString BodyOf(const QString& text);

private:
    int NewNote(AdrDocument& doc, const QString& text, const QString& uniqueId, std::int64_t number);
};
