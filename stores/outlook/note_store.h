#pragma once
// The Outlook note stores of object-model versions 8, 9, 11, 12 and 14: the default notes
// folder (12).

#include "stores/outlook/outlook_store_frame.h"

template <int Version>
class CNote : public OutlookFrameOf<Version> {
public:
    CNote() : OutlookFrameOf<Version>(OutlookKind::Notes, Version) {}
};

using CNote8 = CNote<8>;
using CNote9 = CNote<9>;
using CNote11 = CNote<11>;
using CNote12 = CNote<12>;
using CNote14 = CNote<14>;
