#pragma once
#include <QString>

#include "common/outlook_store.h"
#include "stores/apps/opera_hotlist_file.h"
#include "stores/apps/opera_item_ids.h"
#include "stores/store_roles.h"

// Opera's notes ("notes.adr" in Opera's profile folder), loaded at the start of a
// synchronisation and written back at its end. A note travels as "Subject" (its first line) and
// "Body" (its whole text); in the file its text is the NAME value with AdrLineBreak for line
// breaks. Notes in trash folders stay in the file but are invisible to the peer.
class COperaNotes : public COutlook, public SessionStore {
public:
    COperaNotes();
    // Works on the file at `path` (tests, benchmarks).
    explicit COperaNotes(const QString& path);

    void Open() override;
    void Close() override;

    // Every "Body" field adds one note; the identifier of the last is returned. A record without
    // "Body" fails.
    void Add(ItemRecord& record, QString& id) override;
    // Changes the note's text in place: it keeps its folder, its ID and every other key.
    void Edit(ItemRecord& record, const QString& id) override;
    void Delete(const QString& id) override;
    // Reads the file again (dropping unsaved changes), removes every visible note and writes
    // the file.
    void DeleteAll() override;
    void Get(const QString& id, ItemRecord& record) override;
    void GetIDs(QStringList& ids) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

    // The first line of a stored text: up to its first AdrLineBreak, the whole text when it has
    // none or begins with one.
    static QString SubjectOf(const QString& text);
    // A stored text as the peer reads it: every U+0002 becomes a line feed and swallows the
    // character after it.
    static QString BodyOf(const QString& text);

    const OperaHotlistFile& File() const { return file_; }

private:
    const OperaItemIds& Ids();
    // The note of a visible identifier; throws AgentError for any other.
    int Require(const QString& id);
    int NewNote(AdrDocument& doc, const QString& text, const QString& uniqueId);

    OperaHotlistFile file_;
    OperaItemIds ids_;
    bool idsStale_ = true;
};
