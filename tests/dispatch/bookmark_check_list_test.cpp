#include "dispatch/bookmark_check_list.h"

#include <gtest/gtest.h>

#include <QHash>

#include "common/errors.h"

namespace {

UrlFileEntry Fav(std::uint32_t id, std::uint32_t crc)
{
    return {QStringLiteral("/f/%1.url").arg(id), crc, id, 100 + id};
}

BookmarkId FavId(std::uint32_t id)
{
    return {id, 100 + id};
}

std::uint32_t NoChecksum(const QString&)
{
    ADD_FAILURE() << "Internet Explorer entries carry their checksums";
    return 0;
}

TEST(BookmarkCheckList, InternetExplorerEntriesMatchByIdentifier)
{
    BookmarkCheckList list = {Fav(1, 10), Fav(2, 20), Fav(3, 30)};
    const std::vector<UrlFileEntry> current = {Fav(2, 21), Fav(1, 10), Fav(4, 40)};
    const BookmarkChanges changes = UpdateCheckList(BrowserKind::InternetExplorer, list, current, NoChecksum);
    EXPECT_EQ(changes.added, std::vector<BookmarkId>{FavId(4)});
    EXPECT_EQ(changes.edited, std::vector<BookmarkId>{FavId(2)});
    EXPECT_EQ(changes.deleted, std::vector<BookmarkId>{FavId(3)});
    // Old entries keep their order, new ones follow.
    EXPECT_EQ(list, (BookmarkCheckList{Fav(1, 10), Fav(2, 21), Fav(4, 40)}));

    // Checked again against the same bookmarks: nothing to report.
    const BookmarkChanges again = UpdateCheckList(BrowserKind::InternetExplorer, list, current, NoChecksum);
    EXPECT_TRUE(again.added.empty() && again.edited.empty() && again.deleted.empty());
}

TEST(BookmarkCheckList, DuplicatesAreAllUpdatedAndAddedOnce)
{
    BookmarkCheckList list = {Fav(1, 10), Fav(1, 11)};
    const std::vector<UrlFileEntry> current = {Fav(1, 12), Fav(2, 20), Fav(2, 20)};
    const BookmarkChanges changes = UpdateCheckList(BrowserKind::InternetExplorer, list, current, NoChecksum);
    EXPECT_EQ(changes.edited, (std::vector<BookmarkId>{FavId(1), FavId(1)}));
    EXPECT_EQ(changes.added, std::vector<BookmarkId>{FavId(2)});
    EXPECT_EQ(list, (BookmarkCheckList{Fav(1, 12), Fav(1, 12), Fav(2, 20)}));
}

TEST(BookmarkCheckList, OtherBrowsersMatchByKeyAndAskOneChecksumEach)
{
    QHash<QString, std::uint32_t> crcs = {{"5", 50}, {"6", 61}, {"-2", 7}};
    int asked = 0;
    auto checksum = [&](const QString& key) {
        ++asked;
        return crcs.value(key);
    };
    BookmarkCheckList list = {{"6", 60, 0, 0}, {"9", 90, 0, 0}};
    // Identifier words a store might leave in its entries are not kept.
    const std::vector<UrlFileEntry> current = {{"5", 0, 1, 2}, {"6", 0, 0, 0}, {"-2", 0, 0, 0}};
    const BookmarkChanges changes = UpdateCheckList(BrowserKind::Firefox, list, current, checksum);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(changes.added, (std::vector<BookmarkId>{{5, 0}, {0xFFFFFFFE, 0}}));
    EXPECT_EQ(changes.edited, (std::vector<BookmarkId>{{6, 0}}));
    EXPECT_EQ(changes.deleted, (std::vector<BookmarkId>{{9, 0}}));
    EXPECT_EQ(list, (BookmarkCheckList{{"6", 61, 0, 0}, {"5", 50, 0, 0}, {"-2", 7, 0, 0}}));
}

TEST(BookmarkCheckList, IdentifierFormsPerBrowser)
{
    // Firefox: the row number in the low word; the high word means nothing on the way in.
    EXPECT_EQ(BookmarkKeyText(BrowserKind::Firefox, {0xFFFFFFFF, 0x1234}), "-1");
    EXPECT_EQ(BookmarkIdOfKey(BrowserKind::Firefox, "-1"), (BookmarkId{0xFFFFFFFF, 0}));
    EXPECT_TRUE(EntryCarriesId(BrowserKind::Firefox, {"17", 0, 0, 0}, {17, 99}));
    // Opera: signed 64-bit; Chrome: unsigned 64-bit.
    EXPECT_EQ(BookmarkKeyText(BrowserKind::Opera, BookmarkId::FromValue(static_cast<std::uint64_t>(-5))),
              "-5");
    EXPECT_EQ(BookmarkIdOfKey(BrowserKind::Opera, "-5"),
              BookmarkId::FromValue(static_cast<std::uint64_t>(-5)));
    EXPECT_EQ(BookmarkKeyText(BrowserKind::Chrome, {0xFFFFFFFF, 0xFFFFFFFF}), "18446744073709551615");
    EXPECT_EQ(BookmarkIdOfKey(BrowserKind::Chrome, "13245678901234567"),
              BookmarkId::FromValue(13245678901234567ull));
    EXPECT_TRUE(EntryCarriesId(BrowserKind::Chrome, {"13245678901234567", 0, 0, 0},
                               BookmarkId::FromValue(13245678901234567ull)));
    EXPECT_FALSE(EntryCarriesId(BrowserKind::Chrome, {"13245678901234567", 0, 0, 0}, {0, 0}));
    EXPECT_FALSE(EntryCarriesId(BrowserKind::Safari, {"", 0, 0, 0}, {0, 0}));
    // Internet Explorer keys are paths only the check list knows.
    EXPECT_EQ(BookmarkKeyText(BrowserKind::InternetExplorer, {1, 2}), QString());

    const struct {
        const char* text;
        std::int64_t value;
    } decimals[] = {{"", 0},
                    {"abc", 0},
                    {"12abc", 12},
                    {"+7", 7},
                    {"-0", 0},
                    {" 5", 0},
                    {"-9223372036854775808", INT64_MIN}};
    for (const auto& d : decimals) EXPECT_EQ(DecimalToInt64(d.text), d.value) << d.text;
    EXPECT_EQ(DecimalToInt32("4294967297"), 1);  // wraps like the integer it is stored in
}

TEST(BookmarkCheckList, ChangeReportBytes)
{
    EXPECT_EQ(EncodeBookmarkChanges({}), QByteArray(6, '\0'));
    const BookmarkChanges changes{{{1, 2}}, {}, {{3, 4}, {5, 6}}};
    EXPECT_EQ(EncodeBookmarkChanges(changes), QByteArray::fromHex("0100"
                                                                  "01000000"
                                                                  "02000000"
                                                                  "0000"
                                                                  "0200"
                                                                  "03000000"
                                                                  "04000000"
                                                                  "05000000"
                                                                  "06000000"));
    BookmarkChanges tooMany;
    tooMany.deleted.resize(65536);
    EXPECT_THROW(EncodeBookmarkChanges(tooMany), AgentError);
    tooMany.deleted.resize(65535);
    EXPECT_EQ(EncodeBookmarkChanges(tooMany).size(), 6 + 8 * 65535);
}

}  // namespace
