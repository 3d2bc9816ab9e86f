// A book file the agent did not make as its own is never run or written: the peer's requests
// answer AS_ERROR at once and the file keeps every byte.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <functional>

#include "dispatch/agent.h"
#include "support/dispatch_harness.h"
#include "support/planted_address_book.h"
#include "wire/message_header.h"

namespace {

constexpr std::uint32_t kDisplayName = 0x3001001F;

// A book with enough contacts to fill several pages.
void PlantBook(const TempHome& home, const std::function<void(SqlBook&)>& extra)
{
    home.WriteFile(QStringLiteral(".local/share/TwinLark/.keep"), QByteArray());
    SqlBook book(AddressBookFileIn(home));
    for (int i = 0; i < 200; ++i)
        book.AddContact({{kDisplayName, QStringLiteral("Contact number %1 with a longer name").arg(i)}});
    extra(book);
}

// Overwrites one page in the middle of the file with garbage, as a failing disk would.
void DamageAPage(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 pageSize = 4096;
    ASSERT_GE(f.size(), 4 * pageSize);
    ASSERT_TRUE(f.seek(2 * pageSize));
    ASSERT_EQ(f.write(QByteArray(pageSize, '\xA5')), pageSize);
}

TEST(AddressBookRequests, ABookThatIsNotTheAgentsOwnOrIsDamagedIsNeverRunOrWritten)
{
    const struct {
        const char* what;
        std::function<void(const TempHome&)> plant;
        const char* logged;
    } cases[] = {
        {"a trigger whose query never ends",
         [](const TempHome& home) {
             PlantBook(home, [](SqlBook& book) {
                 book.Exec("CREATE TRIGGER spin AFTER INSERT ON entries BEGIN "
                           "SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                           "SELECT x FROM c); END;");
             });
         },
         "triggers"},
        {"a view", [](const TempHome& home) {
             PlantBook(home, [](SqlBook& book) { book.Exec("CREATE VIEW names AS SELECT value FROM props;"); });
         },
         "views"},
        {"an index of its own", [](const TempHome& home) {
             PlantBook(home, [](SqlBook& book) { book.Exec("CREATE INDEX by_value ON props(value);"); });
         },
         "indexes"},
        {"corrupt pages",
         [](const TempHome& home) {
             PlantBook(home, [](SqlBook&) {});
             DamageAPage(AddressBookFileIn(home));
         },
         "damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DispatchHarness h;
        PlantWabInstalled(h.home);
        c.plant(h.home);
        const QString path = AddressBookFileIn(h.home);
        const QByteArray before = *h.home.ReadFile(QStringLiteral(".local/share/TwinLark/AddressBook.wab"));
        h.agent.agentId = 0;
        h.TakeLogLines();

        EXPECT_EQ(h.Send(AS_CHECK_CONTACTS).code, AS_ERROR);
        EXPECT_EQ(h.Send(AS_ADD_CONTACT, ItemBlob({}, TextRecord({{"FirstName", "Ann"}}))).code, AS_ERROR);
        EXPECT_EQ(h.Send(AS_DEL_ALL_CONTACTS).code, AS_ERROR);

        const QString log = h.TakeLogLines().join(u'\n');
        EXPECT_TRUE(log.contains(path) && log.contains(QString::fromLatin1(c.logged))) << log.toStdString();
        EXPECT_EQ(*h.home.ReadFile(QStringLiteral(".local/share/TwinLark/AddressBook.wab")), before);
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-wal")));
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral("-journal")));
    }
}

}  // namespace

namespace {

// The group names of a large book are more than one message holds: they travel in pieces,
// whole, as every long reply does.
TEST(AddressBookRequests, TheGroupNamesOfALargeBookTravelInPieces)
{
    DispatchHarness h;
    PlantWabInstalled(h.home);
    QStringList names;
    h.home.WriteFile(QStringLiteral(".local/share/TwinLark/.keep"), QByteArray());
    {
        SqlBook book(AddressBookFileIn(h.home));
        book.Exec("BEGIN");
        for (int i = 0; i < 3000; ++i) {
            names << QStringLiteral("Group %1").arg(i, 4, 10, QLatin1Char('0'));
            book.AddList(names.last(), {});
        }
        book.Exec("COMMIT");
    }
    h.agent.agentId = 0;
    const SentMessage reply = h.Send(AS_GET_CATEGORIES);
    EXPECT_EQ(reply.code, AS_GET_CATEGORIES + 1);
    EXPECT_TRUE(reply.longReply);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(reply.payload.constData()), reply.payload.size() / 2),
              names.join(u','));
}

}  // namespace
