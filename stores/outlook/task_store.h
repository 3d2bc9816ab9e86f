#pragma once
// The Outlook task stores of object-model versions 8, 9, 11, 12 and 14: the default task folder
// (13), with the date window of change checks.

#include "stores/outlook/outlook_store_frame.h"

template <int Version>
class CTask : public OutlookFrameOf<Version>, public DateWindowStore {
public:
    CTask() : OutlookFrameOf<Version>(OutlookKind::Tasks, Version) {}
    bool IsInDateWindow(const QString& id, std::int16_t weeksBack, std::int16_t weeksAhead) override
    {
        return this->TaskIsInDateWindow(id, weeksBack, weeksAhead);
    }
};

using CTask8 = CTask<8>;
using CTask9 = CTask<9>;
using CTask11 = CTask<11>;
using CTask12 = CTask<12>;
using CTask14 = CTask<14>;
