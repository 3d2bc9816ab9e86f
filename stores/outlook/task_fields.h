#pragma once
// The fourteen fields of an Outlook task as the peer exchanges them. The reminder travels in
// UTC and is kept by Outlook in local time; the three other dates travel as Outlook keeps them.

#include <cstdint>

#include "common/item_record.h"
#include "platform/dispatch_driver.h"

enum class TaskWrite { Add, Edit };

// Writes the record's task fields in record order (a key given twice: the later wins);
// "EntryID", "IsRecurring" and unknown keys are ignored. An empty date writes nothing in Add
// (the new task keeps Outlook's default) and clears the date in Edit; version 8 clears an empty
// reminder in Add too. Every value is read and converted before the first put: a date the dates
// layer cannot read, or a number that is none, throws AgentError naming key and text with nothing
// written.
void WriteTaskFields(const DispatchDriver& task, const ItemRecord& record, TaskWrite write, int version);
// Appends the fourteen fields: Body, Categories (";" as ","), Subject, EntryID, Importance,
// IsRecurring, ReminderSet, Sensitivity, Complete, TeamTask, StartDate, DueDate, DateCompleted,
// ReminderTime (in UTC). Throws AgentError for a date that cannot travel as text.
void ReadTaskFields(const DispatchDriver& task, ItemRecord& record);
// Over the five numbers and the texts of Body, Categories, Subject, EntryID and the four dates
// as Outlook keeps them (the reminder in local time).
std::uint32_t TaskChecksum(const DispatchDriver& task);
