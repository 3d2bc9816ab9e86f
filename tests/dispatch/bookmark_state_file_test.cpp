#include "dispatch/bookmark_state_file.h"

#include <gtest/gtest.h>

#include "common/byte_io.h"
#include "common/errors.h"
#include "support/temp_home.h"

namespace {

QString DataFile(const QString& name)
{
    return QStringLiteral(".local/share/TwinLark/") + name;
}

TEST(BookmarkStateFile, NamedByMachineBrowserAndSuffix)
{
    TempHome home;
    const struct {
        BrowserKind kind;
        const char* name;
    } cases[] = {
        {BrowserKind::InternetExplorer, "PEER 7.InternetExplorer_work"},
        {BrowserKind::Firefox, "PEER 7.FireFox_work"},
        {BrowserKind::Opera, "PEER 7.Opera_work"},
        {BrowserKind::Chrome, "PEER 7.Chrome_work"},
        {BrowserKind::Safari, "PEER 7work"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BookmarkStateFile(c.kind, "PEER 7", "work").Path(), home.Path(DataFile(c.name)));
    EXPECT_EQ(BookmarkStateFile(BrowserKind::Chrome, "PEER 7", "").Path(),
              home.Path(DataFile("PEER 7.Chrome_")));
}

TEST(BookmarkStateFile, RefusesNamesThatLeaveTheFolder)
{
    TempHome home;
    const struct {
        const char* machineId;
        const char* suffix;
    } refused[] = {{"", "x"},        {"..", ""},    {"a/b", ""}, {"PEER", "/../../x"},
                   {"PEER", "a\\b"}, {"PEER", "\n"}};
    for (const auto& r : refused)
        EXPECT_THROW(BookmarkStateFile(BrowserKind::InternetExplorer, r.machineId, r.suffix), AgentError)
            << r.machineId << " " << r.suffix;
    EXPECT_THROW(BookmarkStateFile(static_cast<BrowserKind>(5), "PEER", ""), AgentError);
}

const BookmarkCheckList kTwo = {
    {QStringLiteral("/h/Favorites/a.url"), 0x11223344, 0xA1A2A3A4, 0xB1B2B3B4},
    {QString::fromUtf8("/h/Favorites/é.url"), 0x55667788, 0xC1C2C3C4, 0xD1D2D3D4},
};

QByteArray Utf16(const QString& s)
{
    return utf16::Bytes(s);
}

TEST(BookmarkStateFile, InternetExplorerRecordBytes)
{
    const QByteArray expected = QByteArray::fromHex(
                                    "a4a3a2a1"
                                    "b4b3b2b1"
                                    "44332211"
                                    "12000000") +
                                Utf16(kTwo[0].key) +
                                QByteArray::fromHex(
                                    "c4c3c2c1"
                                    "d4d3d2d1"
                                    "88776655"
                                    "12000000") +
                                Utf16(kTwo[1].key);
    EXPECT_EQ(BookmarkStateFile::Encode(BrowserKind::InternetExplorer, kTwo), expected);
    const auto back = BookmarkStateFile::Decode(BrowserKind::InternetExplorer, expected);
    EXPECT_EQ(back.entries, kTwo);
    EXPECT_EQ(back.ignoredBytes, 0u);
}

TEST(BookmarkStateFile, KeyRecordBytesForTheOtherBrowsers)
{
    const BookmarkCheckList keys = {{QStringLiteral("42"), 0x01020304, 0, 0},
                                    {QStringLiteral("-7"), 0xFFFFFFFE, 0, 0}};
    const QByteArray expected = QByteArray::fromHex(
                                    "04030201"
                                    "02000000") +
                                Utf16("42") + QByteArray::fromHex("04030201") +
                                QByteArray::fromHex(
                                    "feffffff"
                                    "02000000") +
                                Utf16("-7") + QByteArray::fromHex("feffffff");
    for (BrowserKind kind : {BrowserKind::Firefox, BrowserKind::Opera, BrowserKind::Chrome}) {
        EXPECT_EQ(BookmarkStateFile::Encode(kind, keys), expected);
        EXPECT_EQ(BookmarkStateFile::Decode(kind, expected).entries, keys);
    }
    // The trailing checksum counts; a key ends at its first zero unit.
    const QByteArray odd = QByteArray::fromHex(
                               "00000000"
                               "03000000") +
                           Utf16(QStringLiteral("9")) +
                           QByteArray::fromHex(
                               "0000"
                               "4100") +
                           QByteArray::fromHex("78563412");
    EXPECT_EQ(BookmarkStateFile::Decode(BrowserKind::Chrome, odd).entries,
              (BookmarkCheckList{{QStringLiteral("9"), 0x12345678, 0, 0}}));
    EXPECT_TRUE(BookmarkStateFile::Encode(BrowserKind::Safari, keys).isEmpty());
    EXPECT_TRUE(BookmarkStateFile::Decode(BrowserKind::Safari, expected).entries.empty());
}

TEST(BookmarkStateFile, DamagedEndKeepsTheWholeRecords)
{
    const QByteArray whole = BookmarkStateFile::Encode(BrowserKind::InternetExplorer, kTwo);
    const QByteArray keyWhole = BookmarkStateFile::Encode(BrowserKind::Firefox, {{"42", 1, 0, 0}});
    const struct {
        const char* what;
        BrowserKind kind;
        QByteArray tail;
    } cases[] = {
        {"header cut", BrowserKind::InternetExplorer, QByteArray::fromHex("0102030405")},
        {"negative length", BrowserKind::InternetExplorer,
         QByteArray::fromHex("01000000"
                             "02000000"
                             "03000000"
                             "ffffffff") +
             "abcd"},
        {"length past the end", BrowserKind::InternetExplorer,
         QByteArray::fromHex("01000000"
                             "02000000"
                             "03000000"
                             "00000010") +
             "abcd"},
        {"text cut", BrowserKind::InternetExplorer,
         QByteArray::fromHex("01000000"
                             "02000000"
                             "03000000"
                             "03000000") +
             "abcd"},
        {"key length huge", BrowserKind::Firefox,
         QByteArray::fromHex("01000000"
                             "ffffff7f") +
             "ab"},
        {"trailing crc cut", BrowserKind::Firefox,
         QByteArray::fromHex("01000000"
                             "01000000"
                             "3400"
                             "0100")},
    };
    for (const auto& c : cases) {
        const QByteArray head = c.kind == BrowserKind::InternetExplorer ? whole : keyWhole;
        const auto records = BookmarkStateFile::Decode(c.kind, head + c.tail);
        EXPECT_EQ(BookmarkStateFile::Encode(c.kind, records.entries), head) << c.what;
        EXPECT_EQ(records.ignoredBytes, static_cast<std::size_t>(c.tail.size())) << c.what;
    }
}

TEST(BookmarkStateFile, LoadCreatesSaveReplacesTruncateEmpties)
{
    TempHome home;
    const BookmarkStateFile file(BrowserKind::InternetExplorer, "PEER", "s");
    EXPECT_TRUE(file.Load().entries.empty());
    EXPECT_EQ(home.ReadFile(DataFile("PEER.InternetExplorer_s")), QByteArray());

    // A damaged file loads what is whole; the next save writes the list whole.
    home.WriteFile(
        DataFile("PEER.InternetExplorer_s"),
        BookmarkStateFile::Encode(BrowserKind::InternetExplorer, kTwo) + QByteArray::fromHex("0102"));
    const auto loaded = file.Load();
    EXPECT_EQ(loaded.entries, kTwo);
    EXPECT_EQ(loaded.ignoredBytes, 2u);
    file.Save(loaded.entries);
    EXPECT_EQ(home.ReadFile(DataFile("PEER.InternetExplorer_s")),
              BookmarkStateFile::Encode(BrowserKind::InternetExplorer, kTwo));

    file.Truncate();
    EXPECT_EQ(home.ReadFile(DataFile("PEER.InternetExplorer_s")), QByteArray());
}

}  // namespace
