#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "common/outlook_store.h"

// The notes source code of the made-up Jotter.
inline constexpr std::uint32_t kJotterNotesCode = 0x20000;

class JotterStore : public COutlook {
public:
    static QString FilePath();

    // Reads the file for a check; the save of the peer's state writes what changed.
    void BeforeCheck(const QString& peerId) override;
    bool HoldsUnwrittenChanges() const override { return changed_; }
    CommitOutcome CommitChanges() override;

    void Add(ItemRecord& record, QString& id) override;
    void Edit(ItemRecord& record, const QString& id) override;
    void Delete(const QString& id) override;
    void DeleteAll() override;
    void Get(const QString& id, ItemRecord& record) override;
    void GetIDs(QStringList& ids) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

private:
    static QString BodyOf(const ItemRecord& record);
    void Require(const QString& id) const;

    QHash<QString, QString> notes_;
    QStringList order_;
    bool changed_ = false;
};
