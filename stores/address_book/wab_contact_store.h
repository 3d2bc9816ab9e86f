#pragma once
// The contact store of contacts source 0: the contacts of the current user's address book
// (platform/address_book/), with its distribution lists as the contacts' groups ("Categories").
//
// The change check opens the store (BeforeCheck) and every release closes it (AtRelease); the
// contact requests in between work on what the check opened. Every operation on a closed store
// fails with "the address book is not open" (and why the last opening failed), so a machine
// without an address book answers its contact requests with an error and no file is made. Listing the
// group names and deleting every contact leave the store as they found it: open and still
// open, or closed, opened for the work and closed again.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "common/outlook_store.h"
#include "platform/address_book/address_book.h"
#include "stores/address_book/wab_groups.h"

namespace ContactsXp {

class CContactWinXP : public COutlook {
public:
    // `log` receives a line when the book cannot be opened (may be empty).
    explicit CContactWinXP(std::function<void(const QString&)> log = {});
    ~CContactWinXP() override;
    CContactWinXP(const CContactWinXP&) = delete;
    CContactWinXP& operator=(const CContactWinXP&) = delete;

    // Closes what is open, then opens the book, its container and its group list. Never throws:
    // when a step fails the store stays closed, logs why and remembers it.
    void Open();
    // Safe when closed.
    void Close();
    // A check connects; every release ends the connection.
    void BeforeCheck(const QString&) override { Open(); }
    void AtRelease() override { Close(); }
    bool IsOpen() const { return connection_ != nullptr; }

    // Every group name followed by ","; the empty text when there is no book to open.
    QString GetGroupNames();
    QString CategoryNames() override { return GetGroupNames(); }

    void Add(ItemRecord& record, QString& id) override;
    void Edit(ItemRecord& record, const QString& id) override;
    void Delete(const QString& id) override;
    void DeleteAll() override;
    void Get(const QString& id, ItemRecord& record) override;
    void GetIDs(QStringList& ids) override;
    std::uint32_t IDtoCRC32(const QString& id) override;

    // The group list as the store holds it (empty while closed).
    const std::vector<WabGroupRecord>& Groups() const;

private:
    struct Connection {
        std::unique_ptr<wab::AddressBook> book;
        wab::EntryId pabId;
        std::int32_t pabType = 0;
        std::unique_ptr<wab::ABContainer> container;
        WabGroupList groups;
    };

    Connection& RequireOpen();
    // The contact an item identifier names, opened for changes; nothing when it names none.
    std::unique_ptr<wab::MailUser> OpenContact(Connection& c, const QString& contactText);
    QString OpenedContactText(const QString& id);
    QStringList GroupNamesOf(const Connection& c, const QString& contactText) const;
    // The group update of Edit, after the contact itself is saved.
    void UpdateGroups(Connection& c, const QString& contactText, const QStringList& names);
    // Reads the group list again for an open store, or opens a closed one; true when it was open.
    bool OpenOrRefresh();

    std::function<void(const QString&)> log_;
    std::unique_ptr<Connection> connection_;
    QString openFailure_;
};

}  // namespace ContactsXp
