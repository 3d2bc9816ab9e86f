#pragma once
// One Outlook calendar store of a version over an emulated Outlook of that version, initialised,
// for the appointment store tests.

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <optional>
#include <string>

#include "common/item_record.h"
#include "common/ole_date.h"
#include "stores/outlook/outlook_store_factory.h"
#include "stores/outlook/outlook_store_frame.h"
#include "support/outlook/outlook_emulation.h"
#include "support/system_time_fields.h"

namespace appointment_test {

inline const int kVersions[] = {8, 9, 11, 12, 14};

inline double Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    const std::optional<double> date = SystemTimeToOleDate(MakeSystemTime(year, month, day, hour, minute, second));
    EXPECT_TRUE(date);
    return date.value_or(0.0);
}

struct CalendarRig {
    // `exchange`: the profile's first store is a primary Exchange mailbox, so Outlook's entry
    // identifiers are 140 long and stores 12 and 14 map them.
    explicit CalendarRig(int version, bool exchange = false)
    {
        outlook.SetVersions({version});
        outlook.SetProfileStores({{QStringLiteral("S1"), exchange ? 0 : 3}});
        outlook.SetClock(Date(2010, 6, 1, 9, 0));
        outlook.Register();
        store = MakeOutlookStore(OutlookKind::Appointments, version);
        store->Init();
    }
    QString Add(ItemRecord record)
    {
        QString id;
        store->Add(record, id);
        return id;
    }
    void Edit(ItemRecord record, const QString& id) { store->Edit(record, id); }
    ItemRecord Get(const QString& id)
    {
        ItemRecord record;
        store->Get(id, record);
        return record;
    }
    QString Plant(const EmuProperties& properties) { return outlook.PlantItem(EmuFolder::Calendar, properties); }
    // The value of the last pair of that name.
    static ItemValue Field(const ItemRecord& record, const char* name)
    {
        const qsizetype at = record.names.lastIndexOf(QString::fromLatin1(name));
        EXPECT_GE(at, 0) << name;
        return at < 0 ? ItemValue() : record.values[static_cast<std::size_t>(at)];
    }
    // The puts made on objects of this kind since the journal was last cleared, by DISPID.
    std::vector<std::pair<DispId, VariantValue>> Puts(EmuObject object) const
    {
        std::vector<std::pair<DispId, VariantValue>> puts;
        for (const EmuCall& call : outlook.Journal())
            if (call.object == object && call.kind == InvokeKind::PropertyPut)
                puts.emplace_back(call.dispId, call.arguments.at(0));
        return puts;
    }
    bool Called(EmuObject object, DispId dispId, InvokeKind kind) const
    {
        for (const EmuCall& call : outlook.Journal())
            if (call.object == object && call.dispId == dispId && call.kind == kind) return true;
        return false;
    }

    OutlookEmulation outlook;
    std::unique_ptr<OutlookStoreFrame> store;
};

}  // namespace appointment_test
