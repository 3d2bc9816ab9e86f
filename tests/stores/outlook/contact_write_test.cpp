// Writing Outlook contacts on the emulated Outlook: which keys each version writes and how,
// the dates, the picture, identifiers on Exchange profiles, and what a failure leaves behind.
// The expected DISPIDs come from the emulation's own member table, never from the stores'.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>
#include <map>

#include "common/dates.h"
#include "common/errors.h"
#include "dispatch/request_codes.h"
#include "stores/outlook/outlook_store_factory.h"
#include "support/dispatch_harness.h"
#include "support/outlook/outlook_emulation.h"
#include "support/scoped_env.h"
#include "support/system_time_fields.h"

namespace {

const int kVersions[] = {8, 9, 11, 12, 14};
constexpr DispId kAddPicture = 0xFABD;
constexpr DispId kSave = 0xF048;
const QString kPicture = QStringLiteral("Picture");

// Keys the contact edit of 12 and 14 writes and its creation does not.
const QSet<QString> kEditOnly = {"ReminderTime", "TaskStartDate", "TaskDueDate", "TaskCompletedDate",
                                 "ToDoTaskOrdinal"};

double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const std::optional<double> date = SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute, second));
    EXPECT_TRUE(date);
    return date.value_or(0.0);
}

QByteArray Group(const QByteArray& picture)
{
    QByteArray group(4, '\0');
    qToLittleEndian(static_cast<std::uint32_t>(picture.size()), group.data());
    return group + picture;
}

ItemRecord Fields(std::initializer_list<std::pair<const char*, ItemValue>> fields)
{
    ItemRecord r;
    for (const auto& [name, value] : fields) r.Add(QString::fromUtf8(name), value);
    return r;
}

// A peer's value for every contact property the emulation knows in `version` (read-only ones
// too), in the kind the wire gives it.
ItemRecord EveryKey(int version)
{
    ItemRecord r;
    for (const EmuMember* m : EmuMembersOf(EmuObject::Contact, version)) {
        const QString name = QString::fromLatin1(m->name);
        switch (m->type) {
            case EmuType::I4:
                r.Add(name, 3);
                break;
            case EmuType::Bool:
                r.Add(name, 1);
                break;
            case EmuType::Date:
                r.Add(name, QStringLiteral("03-07-2010"));
                break;
            default:
                r.Add(name, QStringLiteral("v-") + name);
                break;
        }
    }
    r.Add(kPicture, kPicture);
    r.pictureBytes = Group("picture bytes");
    return r;
}

// The keys the peer may write in `version` and where each goes, from the emulation's table.
std::map<QString, DispId> WritableKeys(int version, bool edit)
{
    std::map<QString, DispId> keys;
    for (const EmuMember* m : EmuMembersOf(EmuObject::Contact, version)) {
        const QString name = QString::fromLatin1(m->name);
        if (m->IsReadOnlyIn(version) || (!edit && kEditOnly.contains(name))) continue;
        keys.emplace(name, m->dispId);
    }
    return keys;
}

struct ContactRig {
    explicit ContactRig(int version, std::vector<std::pair<QString, int>> stores = {{QStringLiteral("S1"), 3}})
    {
        outlook.SetVersions({version});
        outlook.SetProfileStores(std::move(stores));
        outlook.Register();
        store = MakeOutlookStore(OutlookKind::Contacts, version);
        store->Init();
        outlook.ClearJournal();
    }
    // The contact members written (puts and AddPicture), in order.
    std::vector<EmuCall> Writes() const
    {
        std::vector<EmuCall> writes;
        for (const EmuCall& c : outlook.Journal())
            if (c.object == EmuObject::Contact &&
                (c.kind == InvokeKind::PropertyPut || (c.kind == InvokeKind::Method && c.dispId == kAddPicture)))
                writes.push_back(c);
        return writes;
    }
    int Saves() const
    {
        int saves = 0;
        for (const EmuCall& c : outlook.Journal())
            if (c.object == EmuObject::Contact && c.dispId == kSave) ++saves;
        return saves;
    }
    // The entry identifier Outlook knows an identifier the store answered by.
    QString EntryId(const QString& id) const
    {
        const auto* mapped = dynamic_cast<const IdMappedOutlookStore*>(store.get());
        return mapped ? mapped->IdMap().Find140(id).value_or(id) : id;
    }
    VariantValue Value(const QString& id, const char* name) const
    {
        return outlook.Value(EntryId(id), QString::fromLatin1(name));
    }
    QString Add(const ItemRecord& record)
    {
        ItemRecord copy = record;
        QString id;
        store->Add(copy, id);
        return id;
    }
    void Edit(const ItemRecord& record, const QString& id)
    {
        ItemRecord copy = record;
        store->Edit(copy, id);
    }

    TempHome home;
    OutlookEmulation outlook;
    std::unique_ptr<OutlookStoreFrame> store;
};

}  // namespace
