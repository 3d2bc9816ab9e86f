#pragma once
// The Outlook task stores of object-model versions 8, 9, 11, 12 and 14: the default task folder
// (13), with the date window of change checks. Version 8 clears an empty reminder when adding;
// 12 and 14 map identifiers on Exchange profiles.

#include "stores/outlook/outlook_dispids.h"
#include "stores/outlook/outlook_store_frame.h"
#include "stores/outlook/task_fields.h"

template <int Version>
class CTask : public OutlookFrameOf<Version> {
public:
    CTask() : OutlookFrameOf<Version>(OutlookKind::Tasks, Version) {}
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override
    {
        return this->TaskIsInDateWindow(id, weeksBack, weeksAhead);
    }

    void Add(ItemRecord& record, QString& id) override
    {
        this->RequireConnected("Add");
        WriteTaskFields(this->CreateNewItem(outlook::kItemTask), record, TaskWrite::Add, Version);
        id = this->SaveNewItem();
    }
    void Edit(ItemRecord& record, const QString& id) override
    {
        this->RequireConnected("Edit");
        const DispatchDriver& task = this->FindItem(id);
        WriteTaskFields(task, record, TaskWrite::Edit, Version);
        task.CallMethod(outlook::kSave);
    }
    void Get(const QString& id, ItemRecord& record) override
    {
        this->RequireConnected("Get");
        ReadTaskFields(this->FindItem(id), record);
    }
    std::uint32_t IDtoCRC32(const QString& id) override
    {
        this->RequireConnected("IDtoCRC32");
        return TaskChecksum(this->FindItem(id));
    }
};

using CTask8 = CTask<8>;
using CTask9 = CTask<9>;
using CTask11 = CTask<11>;
using CTask12 = CTask<12>;
using CTask14 = CTask<14>;
