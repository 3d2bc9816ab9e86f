// Opera's three stores keep the contracts of every item and bookmark store, over hotlist files
// in a temporary home.
#include <QFile>

#include "stores/opera/opera_bookmarks.h"
#include "stores/opera/opera_contacts.h"
#include "stores/opera/opera_notes.h"
#include "support/bookmark_store_contract.h"
#include "support/item_store_contract.h"
#include "support/temp_home.h"

namespace {

struct OperaContactsContract {
    OperaContactsContract()
    {
        QFile real(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/contacts-opera12-linux-anonymised.adr"));
        if (real.open(QIODevice::ReadOnly)) home.WriteFile(QStringLiteral(".opera/contacts.adr"), real.readAll());
    }
    std::unique_ptr<COutlook> Make() { return std::make_unique<COperaContacts>(); }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(QStringLiteral("FirstName"), QStringLiteral("Anna"));
        record.Add(QStringLiteral("MiddleName"), QStringLiteral("Maria %1").arg(n));
        record.Add(QStringLiteral("LastName"), QStringLiteral("Berg"));
        record.Add(QStringLiteral("Email1Address"), QStringLiteral("anna%1@example.invalid").arg(n));
        record.Add(QStringLiteral("HomeAddressCity"), QStringLiteral("Köln %1").arg(n));
        record.Add(QStringLiteral("Body"), QStringLiteral("line one\nline %1").arg(n));
        return record;
    }
    static constexpr bool kPersists = true;
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(OperaContacts, ItemStoreContract, OperaContactsContract);

struct OperaNotesContract {
    OperaNotesContract()
    {
        QFile real(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/notes-opera12-linux-masked-excerpt.adr"));
        if (real.open(QIODevice::ReadOnly)) home.WriteFile(QStringLiteral(".opera/notes.adr"), real.readAll());
    }
    std::unique_ptr<COutlook> Make() { return std::make_unique<COperaNotes>(); }
    ItemRecord Record(int n)
    {
        ItemRecord record;
        record.Add(QStringLiteral("Subject"), QStringLiteral("Note %1").arg(n));
        record.Add(QStringLiteral("Body"), QStringLiteral("Note %1\nsecond line äö").arg(n));
        return record;
    }
    static constexpr bool kPersists = true;
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(OperaNotes, ItemStoreContract, OperaNotesContract);

struct OperaBookmarksContract {
    OperaBookmarksContract()
    {
        QFile real(QStringLiteral(TWINLARK_TEST_DATA "/opera-hotlist/bookmarks-opera12-linux.adr"));
        if (real.open(QIODevice::ReadOnly)) home.WriteFile(QStringLiteral(".opera/bookmarks.adr"), real.readAll());
    }
    std::unique_ptr<BookmarkStore> Make() { return std::make_unique<COperaBookmarks>(); }
    BookmarkRecord Record(int n)
    {
        return {QStringLiteral("Work/Tools %1").arg(n), QStringLiteral("Site %1 ü").arg(n),
                QStringLiteral("https://example.invalid/%1").arg(n)};
    }
    QString ForeignKey() { return QStringLiteral("12345"); }
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(OperaBookmarks, BookmarkStoreContract, OperaBookmarksContract);

}  // namespace
