#pragma once
// The Outlook calendar stores of object-model versions 8, 9, 11, 12 and 14: the default calendar
// folder (9), with the date window of change checks.

#include "stores/outlook/outlook_store_frame.h"

template <int Version>
class CAppointment : public OutlookFrameOf<Version>, public DateWindowStore {
public:
    CAppointment() : OutlookFrameOf<Version>(OutlookKind::Appointments, Version) {}
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override
    {
        return this->AppointmentIsInDateWindow(id, weeksBack, weeksAhead);
    }
};

using CAppointment8 = CAppointment<8>;
using CAppointment9 = CAppointment<9>;
using CAppointment11 = CAppointment<11>;
using CAppointment12 = CAppointment<12>;
using CAppointment14 = CAppointment<14>;
