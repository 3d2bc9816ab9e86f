// Internet Explorer's favourites keep the bookmark store contract.
#include "stores/internet_explorer/internet_explorer.h"
#include "support/bookmark_store_contract.h"
#include "support/temp_home.h"

namespace {

struct InternetExplorerContract {
    InternetExplorerContract() { home.WriteFile("elsewhere.url", "[InternetShortcut]\r\nURL=http://x/\r\n"); }
    std::unique_ptr<BookmarkStore> Make() { return std::make_unique<CInternetExplorer>(favorites); }
    BookmarkRecord Record(int n)
    {
        return {n % 2 ? QString() : QStringLiteral("Folder %1").arg(n), QStringLiteral("Site %1").arg(n),
                QStringLiteral("http://example.org/%1").arg(n)};
    }
    // A favourite's file outside the Favorites folder.
    QString ForeignKey() { return home.Path(QStringLiteral("elsewhere.url")); }

    TempHome home;
    QString favorites = home.Path(QStringLiteral("Favorites"));
};
INSTANTIATE_TYPED_TEST_SUITE_P(InternetExplorer, BookmarkStoreContract, InternetExplorerContract);

}  // namespace
