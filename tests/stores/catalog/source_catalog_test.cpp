// Every row of the source catalogue: its code selects its store, and its bit chooses the code and
// is reported back while the source is chosen.
#include "stores/catalog/source_catalog.h"

#include <gtest/gtest.h>

#include <QSet>

#include "dispatch/source_detection.h"
#include "stores/base/source_flags.h"
#include "stores/base/source_probes.h"
#include "stores/catalog/store_set.h"
#include "support/dispatch_harness.h"
#include "support/planted_sources.h"

namespace {

class NoBookmarks : public BookmarkStore {
public:
    std::vector<UrlFileEntry> GetIDs() override { return {}; }
    std::uint32_t IDtoCRC32(const QString&) override { return 0; }
    void Get(const QString&, BookmarkRecord&) override {}
    QString Add(const BookmarkRecord&) override { return {}; }
    QString Edit(const QString& key, const BookmarkRecord&) override { return key; }
    void Delete(const QString&) override {}
    void DeleteAll() override {}
};

std::string Name(const SourceRow& row)
{
    return "kind " + std::to_string(static_cast<int>(row.kind)) + " code " + std::to_string(row.code);
}

SourceSelection Choosing(const SourceRow& row)
{
    SourceSelection chosen;
    if (row.kind == SourceKind::Notes)
        chosen.notesCode = row.code;
    else if (row.kind == SourceKind::Bookmarks)
        chosen.browserKind = row.code;
    else
        chosen.agentCode = row.code;
    return chosen;
}

TEST(SourceCatalog, EveryRowsCodeSelectsItsStore)
{
    for (const SourceRow& row : SourceCatalog()) {
        SCOPED_TRACE(Name(row));
        StoreSet stores;
        if (row.kind == SourceKind::Bookmarks) {
            auto store = std::make_unique<NoBookmarks>();
            BookmarkStore* expected = store.get();
            stores.Replace(static_cast<BrowserKind>(row.code), std::move(store));
            EXPECT_EQ(stores.Select(static_cast<BrowserKind>(row.code)), expected);
            EXPECT_EQ(stores.SelectBookmarks(Choosing(row)), expected);
            continue;
        }
        const auto kind = static_cast<ItemKind>(row.kind);
        COutlook* expected = nullptr;
        if (row.storePerSession) {
            EXPECT_EQ(stores.Select(kind, row.code), nullptr) << "no store outside a synchronisation";
            stores.SetSessionFactory(kind, row.code, [&] {
                std::unique_ptr<FakeItemStore> store = MakeFakeStoreFor(kind, row.code);
                expected = store.get();
                return store;
            });
            stores.OpenSessions(Choosing(row));
        } else {
            std::unique_ptr<FakeItemStore> store = MakeFakeStoreFor(kind, row.code);
            expected = store.get();
            stores.Replace(kind, row.code, std::move(store));
        }
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(stores.Select(kind, row.code), expected);
        EXPECT_EQ(stores.Select(Choosing(row), kind), expected);
        EXPECT_EQ(stores.Select(kind, row.code + 100), nullptr);
    }
}

TEST(SourceCatalog, EveryRowsBitChoosesItsCodeAndIsReportedWhileChosen)
{
    for (const SourceRow& row : SourceCatalog()) {
        if (!row.flag) continue;
        SCOPED_TRACE(Name(row));
        DispatchHarness h;
        // Every program present, and only this row's Outlook, so that Outlook's notes bit
        // chooses this version.
        PlantFavorites(h.home);
        PlantFirefox(h.home);
        PlantChrome(h.home);
        PlantOpera(h.home, QStringLiteral("12.16.1860"), 1, true);
        PlantSafari(h.home);
        const ScopedOutlookServers outlook(
            row.programVersion ? QStringList{QString::number(row.programVersion)} : QStringList{});
        // The Windows version whose sources the row is among.
        const bool xp = row.available == IsWindowsXp;
        const bool vista = row.available == IsWindowsVista;
        const ScopedWindowsVersion windows(xp ? 5 : 6, xp ? 1 : vista ? 0 : 1);

        EXPECT_TRUE(AvailableSourceFlags(*h.agent.stores) & row.flag) << "offered when its program is here";
        ApplySourceFlags(h.agent, row.flag);
        EXPECT_EQ(Choosing(row).CodeOf(row.kind), h.agent.Selection().CodeOf(row.kind));
        EXPECT_TRUE(CurrentSourceFlags(h.agent) & row.flag);
    }
}

TEST(SourceCatalog, EachSourceHasOneRowAndEachBitOneCodePerKind)
{
    QSet<QString> seen;
    for (const SourceRow& row : SourceCatalog()) {
        const QString key = QStringLiteral("%1/%2").arg(static_cast<int>(row.kind)).arg(row.code);
        EXPECT_FALSE(seen.contains(key)) << Name(row);
        seen.insert(key);
    }
    // Outlook's notes bit names five codes; it chooses by what is installed instead.
    for (const SourceRow& a : SourceCatalog())
        for (const SourceRow& b : SourceCatalog())
            if (&a != &b && a.kind == b.kind && a.flag && a.flag == b.flag) {
                EXPECT_EQ(a.flag, SourceFlags::kOutlookNotes) << Name(a) << " and " << Name(b);
            }
}

// The row's naming and the store's KeysArePaths are the same fact seen from the requests that
// have a store and from those (the state file, the reply shape) that have only the row.
TEST(SourceCatalog, BookmarkRowsNameTheirBookmarksAsTheirStoresKeyThem)
{
    QSet<QString> stateParts;
    const StoreSet stores;
    for (const SourceRow& row : SourceCatalog()) {
        if (row.kind != SourceKind::Bookmarks) continue;
        SCOPED_TRACE(Name(row));
        EXPECT_FALSE(stateParts.contains(QLatin1String(row.bookmarkStatePart)))
            << "one state file per browser";
        stateParts.insert(QLatin1String(row.bookmarkStatePart));
        BookmarkStore* store = stores.Select(static_cast<BrowserKind>(row.code));
        if (!store) {
            EXPECT_FALSE(HasIdentifiers(row.bookmarkNaming)) << "a browser without a store names nothing";
            continue;
        }
        EXPECT_TRUE(HasIdentifiers(row.bookmarkNaming));
        EXPECT_EQ(store->KeysArePaths(), KeysArePaths(row.bookmarkNaming));
    }
}

TEST(SourceCatalog, StoredAgentCodesBelowOutlookOutliveDetection)
{
    for (std::uint32_t code : {0u, 1u, 2u, 3u, 6u, 7u})
        EXPECT_TRUE(StoredAgentCodeOutlivesDetection(code)) << code;
    for (std::uint32_t code : {8u, 9u, 11u, 12u, 14u, 15u, 0xFFFFFFFFu})
        EXPECT_FALSE(StoredAgentCodeOutlivesDetection(code)) << code;
}

}  // namespace
