// Books filled by another program (tests/data/address-book/*.sql) read as the peer receives them:
// every contact's record and checksum, and the group names.
#include <gtest/gtest.h>

#include "stores/address_book/wab_contact_store.h"
#include "support/golden_files.h"
#include "support/planted_address_book.h"
#include "support/temp_home.h"

namespace {

QByteArray Render(ContactsXp::CContactWinXP& store)
{
    QString out = QStringLiteral("groups: ") + store.GetGroupNames() + QLatin1Char('\n');
    QStringList ids;
    store.GetIDs(ids);
    for (const QString& id : ids) {
        out += id + QStringLiteral("\n  checksum %1\n").arg(store.IDtoCRC32(id), 8, 16, QLatin1Char('0'));
        ItemRecord record;
        store.Get(id, record);
        for (int i = 0; i < record.FieldCount(); ++i) {
            QString value = std::get<QString>(record.values[static_cast<std::size_t>(i)]);
            value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
            out += QStringLiteral("  ") + record.names[i] + QStringLiteral(" = ") + value + QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}

class WabBookFiles : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(WabBookFiles, ReadAsTheirExpectedFileSays)
{
    TempHome home;
    PlantWabInstalled(home);
    home.WriteFile(QStringLiteral(".local/share/TwinLark/.keep"), QByteArray());
    {
        SqlBook book(AddressBookFileIn(home));
        book.Exec(GetParam().Input().constData());
    }
    ContactsXp::CContactWinXP store;
    store.Open();
    ASSERT_TRUE(store.IsOpen());
    ExpectGolden(GetParam(), Render(store));
}

INSTANTIATE_TEST_SUITE_P(Files, WabBookFiles, ::testing::ValuesIn(GoldenCases("address-book", ".sql")),
                         GoldenCaseName);

}  // namespace
