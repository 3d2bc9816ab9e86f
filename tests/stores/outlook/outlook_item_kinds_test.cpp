// Outlook finds an entry identifier in any folder of the profile's store. Through the requests,
// an identifier of another kind than the request's (or of a distribution list, which is no
// contact) must reach nothing: the request fails naming identifier and class, and Outlook keeps
// every item as it was.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "dispatch/item_kinds.h"
#include "dispatch/request_codes.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "support/outlook/outlook_seed.h"
#include "wire/message_header.h"

namespace {

struct KindRequests {
    const char* name;
    ItemKind kind;
    std::uint16_t check, get, set, del;
    EmuFolder folder;
    int itemClass;
    const char* textKey;  // a key every version writes
};

const KindRequests kKinds[] = {
    {"appointments", ItemKind::Appointments, AS_CHECK_APPOINTS, AS_GET_APPOINT, AS_SET_APPOINT, AS_DEL_APPOINT,
     EmuFolder::Calendar, 26, "Body"},
    {"contacts", ItemKind::Contacts, AS_CHECK_CONTACTS, AS_GET_CONTACT, AS_SET_CONTACT, AS_DEL_CONTACT,
     EmuFolder::Contacts, 40, "Body"},
    {"tasks", ItemKind::Tasks, AS_CHECK_TASKS, AS_GET_TASK, AS_SET_TASK, AS_DEL_TASK, EmuFolder::Tasks, 48, "Body"},
    {"notes", ItemKind::Notes, AS_CHECK_NOTES, AS_GET_NOTE, AS_SET_NOTE, AS_DEL_NOTE, EmuFolder::Notes, 44, "Body"},
};

// What Outlook holds, every item with every property.
QJsonValue Items(const OutlookEmulation& outlook)
{
    return QJsonDocument::fromJson(OutlookStateJson(outlook)).object().value(QStringLiteral("items"));
}

QByteArray CheckPayload(const KindRequests& k)
{
    if (k.kind == ItemKind::Appointments || k.kind == ItemKind::Tasks) return U16Bytes(0xFFFF) + U16Bytes(0xFFFF);
    if (k.kind == ItemKind::Notes) return Utf16z(QString());
    return {};
}

class OutlookItemKinds : public ::testing::TestWithParam<int> {};

TEST_P(OutlookItemKinds, AnIdentifierOfAnotherKindReachesNothing)
{
    DispatchHarness h;
    OutlookEmulation outlook;
    const int version = GetParam();
    outlook.SetVersions({version});
    outlook.Register();
    h.agent.agentId = static_cast<std::uint32_t>(version);
    h.agent.notesAgentId = version == 8 ? 4u : version == 9 ? 8u : version == 11 ? 16u : version == 12 ? 32u : 64u;

    struct Planted {
        QString id;
        int itemClass;
        const KindRequests* kind;  // null: the distribution list
    };
    std::vector<Planted> planted;
    for (const KindRequests& k : kKinds)
        planted.push_back({outlook.PlantItem(k.folder, {{"Body", VariantValue::Text("kept")}}), k.itemClass, &k});
    planted.push_back({outlook.PlantItem(EmuFolder::Contacts, {{"Class", VariantValue::I4(69)}}), 69, nullptr});
    // Each kind's check, so that its store is connected and its state list holds its own item.
    for (const KindRequests& k : kKinds) {
        const SentMessage check = h.Send(k.check, CheckPayload(k));
        ASSERT_EQ(check.code, k.check + 1) << k.name;
        ASSERT_EQ(StateListOf(h.agent, k.kind).Size(), 1u) << k.name;
    }
    const QJsonValue before = Items(outlook);
    h.TakeLogLines();

    for (const KindRequests& k : kKinds)
        for (const Planted& other : planted) {
            if (other.kind == &k) continue;
            SCOPED_TRACE(std::string(k.name) + " request with the identifier of class " +
                         std::to_string(other.itemClass));
            ItemRecord record;
            record.Add(QString::fromLatin1(k.textKey), QStringLiteral("overwritten"));
            for (const auto& [code, payload] : {std::pair{k.get, Utf16z(other.id)},
                                                std::pair{k.set, ItemBlob(other.id, record)},
                                                std::pair{k.del, Utf16z(other.id)}}) {
                EXPECT_EQ(h.Send(code, payload).code, AS_ERROR) << code;
                const QString log = h.TakeLogLines().join(u'\n');
                EXPECT_TRUE(log.contains(other.id) && log.contains(QStringLiteral("class %1").arg(other.itemClass)))
                    << log.toStdString();
            }
            // Its checksum is that of an item the store does not have.
            COutlook* store = SelectedStore(h.agent, k.kind);
            ASSERT_NE(store, nullptr);
            EXPECT_ANY_THROW(store->IDtoCRC32(other.id));
            EXPECT_ANY_THROW(store->IDtoCRC32(QStringLiteral("no such item")));
        }
    EXPECT_EQ(Items(outlook), before);
    for (const KindRequests& k : kKinds) EXPECT_EQ(StateListOf(h.agent, k.kind).Size(), 1u) << k.name;

    // The request's own kind still works.
    for (const KindRequests& k : kKinds) {
        const QString own = planted[static_cast<std::size_t>(&k - kKinds)].id;
        EXPECT_EQ(h.Send(k.get, Utf16z(own)).code, k.get + 1) << k.name;
        EXPECT_EQ(h.Send(k.del, Utf16z(own)).code, k.del + 1) << k.name;
    }
    EXPECT_EQ(outlook.ItemCount(EmuFolder::Contacts), 1) << "the distribution list stays";
}

INSTANTIATE_TEST_SUITE_P(Versions, OutlookItemKinds, ::testing::Values(8, 14),
                         [](const auto& info) { return "Outlook" + std::to_string(info.param); });

}  // namespace
