#pragma once
// The Outlook calendar stores of object-model versions 8, 9, 11, 12 and 14: the default calendar
// folder (9), with the date window of change checks. Reads and the checksum live in
// appointment_read.cpp, writes in appointment_write.cpp; both are compiled for the five versions.

#include "stores/outlook/outlook_store_frame.h"

template <int Version>
class CAppointment : public OutlookFrameOf<Version> {
public:
    CAppointment() : OutlookFrameOf<Version>(OutlookKind::Appointments, Version) {}
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override
    {
        return this->AppointmentIsInDateWindow(id, weeksBack, weeksAhead);
    }

    // Creates and saves an appointment from the peer's record; `id` receives its identifier (in
    // 12 and 14 on an Exchange profile, the short identifier newly paired with its EntryID). A
    // failure after Save deletes the new appointment again before it passes, so a failed add
    // leaves nothing behind.
    void Add(ItemRecord& record, QString& id) override;
    // Overwrites the appointment from the record; keys the record lacks keep their values, and
    // the recurrence is rewritten only when the record carries "IsRecurring".
    void Edit(ItemRecord& record, const QString& id) override;
    // Appends the appointment's pairs in the version's order: timed starts and ends in UTC,
    // every other date local, the recurrence pattern when it recurs.
    void Get(const QString& id, ItemRecord& record) override;
    // Over the integers and the eleven texts that change when the appointment does.
    std::uint32_t IDtoCRC32(const QString& id) override;
};

using CAppointment8 = CAppointment<8>;
using CAppointment9 = CAppointment<9>;
using CAppointment11 = CAppointment<11>;
using CAppointment12 = CAppointment<12>;
using CAppointment14 = CAppointment<14>;
