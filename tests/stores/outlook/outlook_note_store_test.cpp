// The Outlook note stores of every version on the emulated Outlook: what they write, read and
// checksum, and identifiers on Exchange profiles.
#include <gtest/gtest.h>

#include <QtEndian>

#include "common/crc32.h"
#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/outlook_store_factory.h"
#include "support/outlook/outlook_store_contract.h"
#include "support/outlook/outlook_store_rig.h"

namespace {

struct NoteRecords {
    static ItemRecord Record(int n)
    {
        ItemRecord r;
        r.Add(QStringLiteral("Body"), QStringLiteral("Note %1\nsecond line").arg(n));
        r.Add(QStringLiteral("Color"), n % 5);
        return r;
    }
};

template <int Version>
using NoteContract = OutlookContract<OutlookKind::Notes, Version, NoteRecords>;
using NoteContracts =
    ::testing::Types<NoteContract<8>, NoteContract<9>, NoteContract<11>, NoteContract<12>, NoteContract<14>>;
INSTANTIATE_TYPED_TEST_SUITE_P(OutlookNotes, ItemStoreContract, NoteContracts);

const int kVersions[] = {8, 9, 11, 12, 14};
constexpr DispId kColor = 0x8B00;

ItemRecord Fields(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord r;
    for (const auto& [name, value] : fields) r.Add(QString::fromUtf8(name), value);
    return r;
}

struct NoteRig : OutlookStoreRig {
    explicit NoteRig(int version, std::vector<std::pair<QString, int>> stores = {{QStringLiteral("S1"), 3}})
        : OutlookStoreRig(OutlookKind::Notes, version, std::move(stores))
    {
    }
    std::vector<std::pair<DispId, VariantValue>> Puts() const { return OutlookStoreRig::Puts(EmuObject::Note); }
};

TEST(OutlookNoteStore, WritesOnlyBodyCategoriesAndColorInRecordOrder)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        NoteRig rig(version);
        ItemRecord record = Fields({{"Subject", QStringLiteral("never written")},
                                    {"EntryID", QStringLiteral("ignored")},
                                    {"Body", QStringLiteral("first")},
                                    {"body", QStringLiteral("other case")},
                                    {"Categories", QStringLiteral("a;b")},
                                    {"Color", 3},
                                    {"Body", QString::fromUtf16(u"cut here\0hidden", 15)},
                                    {"Unknown", QStringLiteral("x")}});
        QString id;
        rig.store->Add(record, id);
        EXPECT_EQ(rig.Puts(), (std::vector<std::pair<DispId, VariantValue>>{
                                  {0x9100, VariantValue::Text(QStringLiteral("first"))},
                                  {0x9001, VariantValue::Text(QStringLiteral("a;b"))},
                                  {kColor, VariantValue::I4(3)},
                                  {0x9100, VariantValue::Text(QStringLiteral("cut here"))}}));
        EXPECT_EQ(rig.outlook.Value(id, QStringLiteral("Body")).String(), QStringLiteral("cut here"));

        // Only the keys the record carries change; the rest keeps its values.
        rig.outlook.ClearJournal();
        ItemRecord edit = Fields({{"Color", QStringLiteral("4")}, {"Subject", QStringLiteral("no")}});
        rig.store->Edit(edit, id);
        EXPECT_EQ(rig.Puts(), (std::vector<std::pair<DispId, VariantValue>>{{kColor, VariantValue::I4(4)}}));
        ItemRecord got;
        rig.store->Get(id, got);
        EXPECT_EQ(got.names, (QStringList{"Body", "Categories", "EntryID", "Subject", "Color"}));
        EXPECT_EQ(got.values, (std::vector<ItemValue>{QStringLiteral("cut here"), QStringLiteral("a,b"), id,
                                                      QStringLiteral("cut here"), 4}));

        // A record Outlook would half take is refused before anything is put or saved.
        rig.outlook.ClearJournal();
        ItemRecord bad = Fields({{"Body", QStringLiteral("new")}, {"Color", QStringLiteral("red")}});
        EXPECT_THROW(rig.store->Edit(bad, id), AgentError);
        EXPECT_TRUE(rig.Puts().empty());
        EXPECT_EQ(rig.outlook.Value(id, QStringLiteral("Body")).String(), QStringLiteral("cut here"));
    }
}

TEST(OutlookNoteStore, ChecksumCoversColorBodyAndModificationTimeOnly)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        NoteRig rig(version);
        rig.outlook.SetClock(40'000.5);
        QString id;
        ItemRecord empty = Fields({{"Color", 0}});
        rig.store->Add(empty, id);
        // Four zero bytes of colour, then the time's text as UTF-16, without a body.
        QByteArray expected(4, '\0');
        const QString time = DateToText(40'000.5);
        expected.append(reinterpret_cast<const char*>(time.utf16()), time.size() * 2);
        EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(expected));
        EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(expected)) << "the same twice";

        ItemRecord categories = Fields({{"Categories", QStringLiteral("Work")}});
        rig.store->Edit(categories, id);
        EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(expected)) << "categories do not count";

        // Saved unchanged at a later time: the modification time alone changes it.
        rig.outlook.SetClock(40'001.0);
        ItemRecord nothing;
        rig.store->Edit(nothing, id);
        EXPECT_NE(rig.store->IDtoCRC32(id), Crc32(expected));

        // Body and time are joined without a separator; the colour is a little-endian integer.
        ItemRecord body = Fields({{"Body", QStringLiteral("hello")}, {"Color", 2}});
        rig.store->Edit(body, id);
        QByteArray joined(4, '\0');
        qToLittleEndian<std::uint32_t>(2, joined.data());
        const QString text = QStringLiteral("hello") + DateToText(40'001.0);
        joined.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        EXPECT_EQ(rig.store->IDtoCRC32(id), Crc32(joined));
    }
}

TEST(OutlookNoteStore, ExchangeProfilesMapIdentifiersIn12And14)
{
    for (int version : {12, 14}) {
        SCOPED_TRACE(version);
        NoteRig rig(version, {{QStringLiteral("EX"), 0}});
        QString id;
        ItemRecord record = Fields({{"Body", QStringLiteral("mapped")}});
        rig.store->Add(record, id);
        ASSERT_EQ(id.size(), 48);
        const std::vector<const EmuItem*> items = rig.outlook.ItemsIn(EmuFolder::Notes);
        ASSERT_EQ(items.size(), 1u);
        const QString longId = items.front()->entryId;
        EXPECT_EQ(longId.size(), 140);

        ItemRecord got;
        rig.store->Get(id, got);
        EXPECT_EQ(got.values[2], ItemValue(longId)) << "the long entry identifier is read";
        ItemRecord edit = Fields({{"Body", QStringLiteral("edited")}});
        rig.store->Edit(edit, id);
        EXPECT_EQ(rig.outlook.Value(longId, QStringLiteral("Body")).String(), QStringLiteral("edited"));
        EXPECT_NE(rig.store->IDtoCRC32(id), 0u);

        // A short identifier without a pair is Outlook's own: used unchanged.
        const QString planted = rig.outlook.PlantItem(EmuFolder::Notes, {{"EntryID", VariantValue::Text(QString(48, u'A'))},
                                                                          {"Body", VariantValue::Text("own")}});
        ItemRecord own;
        rig.store->Get(planted, own);
        EXPECT_EQ(own.values[0], ItemValue(QStringLiteral("own")));
    }
}

TEST(OutlookNoteStore, AFailureAfterTheSaveLeavesNoNote)
{
    for (int version : kVersions) {
        SCOPED_TRACE(version);
        NoteRig rig(version);
        rig.outlook.AddFault({EmuObject::Note, 0xF01E, InvokeKind::PropertyGet, {}, 1, true, com_status::kFail});
        QString id;
        ItemRecord record = Fields({{"Body", QStringLiteral("x")}});
        EXPECT_ANY_THROW(rig.store->Add(record, id));
        EXPECT_EQ(rig.outlook.ItemCount(EmuFolder::Notes), 0);
    }
}

}  // namespace
