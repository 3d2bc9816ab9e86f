// Chrome's bookmarks file and Firefox's places database keep the bookmark store contract.
#include <QFile>
#include <QTemporaryDir>

#include "stores/chrome/chrome.h"
#include "stores/firefox/firefox.h"
#include "support/bookmark_store_contract.h"
#include "support/temp_home.h"

namespace {

BookmarkRecord Record(int n, const QString& folderEnd)
{
    return {n % 2 ? QString() : QString::fromUtf8("Földer %1/Sub").arg(n) + folderEnd,
            QString::fromUtf8("Site %1 «ü» 😀").arg(n), QStringLiteral("http://example.org/%1?a='b'").arg(n)};
}

struct ChromeContract {
    ChromeContract()
    {
        QFile real(QStringLiteral(TWINLARK_TEST_DATA "/chrome-bookmarks/chrome2021-fresh-profile.Bookmarks"));
        real.open(QIODevice::ReadOnly);
        home.WriteFile(QStringLiteral("Bookmarks"), real.readAll());
    }
    std::unique_ptr<BookmarkStore> Make() { return std::make_unique<CChrome>(home.Path(QStringLiteral("Bookmarks"))); }
    // Chrome's Path has no slash at the end.
    BookmarkRecord Record(int n) { return ::Record(n, QString()); }
    QString ForeignKey() { return QStringLiteral("../Bookmarks"); }
    TempHome home;
};
INSTANTIATE_TYPED_TEST_SUITE_P(Chrome, BookmarkStoreContract, ChromeContract);

struct FirefoxContract {
    FirefoxContract()
    {
        QFile::copy(QStringLiteral(TWINLARK_TEST_DATA "/firefox/places-esr153.sqlite"), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    std::unique_ptr<BookmarkStore> Make() { return std::make_unique<CFirefox>(path); }
    // Firefox's Path ends every folder with a slash.
    BookmarkRecord Record(int n) { return ::Record(n, QStringLiteral("/")); }
    QString ForeignKey() { return QStringLiteral("menu________"); }
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("places.sqlite"));
};
INSTANTIATE_TYPED_TEST_SUITE_P(Firefox, BookmarkStoreContract, FirefoxContract);

}  // namespace
