#pragma once
// The appointment and recurrence-pattern members the calendar stores read and write, besides
// the shared ones of outlook_dispids.h. The same in every object-model version.

#include "stores/outlook/outlook_dispids.h"

namespace outlook::appointment {

// Appointment item
inline constexpr DispId kCompanies = 0x853B;
inline constexpr DispId kLocation = 0x8208;
inline constexpr DispId kMileage = 0x8534;
inline constexpr DispId kReminderSoundFile = 0x851F;
inline constexpr DispId kAllDayEvent = 0x8215;
inline constexpr DispId kAutoResolvedWinner = 0xFABA;
inline constexpr DispId kBusyStatus = 0x8205;
inline constexpr DispId kDownloadState = 0xFA4D;
inline constexpr DispId kDuration = 0x8213;
inline constexpr DispId kImportance = 0x17;
inline constexpr DispId kIsConflict = 0xFAA4;
inline constexpr DispId kMarkForDownload = 0x8571;
inline constexpr DispId kMeetingStatus = 0x8217;
inline constexpr DispId kOutlookInternalVersion = 0x8552;
inline constexpr DispId kReminderMinutesBeforeStart = 0x8501;
inline constexpr DispId kReminderOverrideDefault = 0x851C;
inline constexpr DispId kReminderPlaySound = 0x851E;
inline constexpr DispId kReminderSet = 0x8503;
inline constexpr DispId kResponseStatus = 0x8218;
inline constexpr DispId kSaved = 0xF0A3;
inline constexpr DispId kSensitivity = 0x36;
inline constexpr DispId kSize = 0x0E08;
inline constexpr DispId kUnRead = 0xF01C;
inline constexpr DispId kRecurrenceState = 0xF545;

// Recurrence pattern
inline constexpr DispId kDayOfMonth = 0x1000;
inline constexpr DispId kDayOfWeekMask = 0x1001;
inline constexpr DispId kInstance = 0x1003;
inline constexpr DispId kInterval = 0x1004;
inline constexpr DispId kOccurrences = 0x1005;
inline constexpr DispId kMonthOfYear = 0x1006;
inline constexpr DispId kRecurrenceType = 0x1007;
inline constexpr DispId kNoEndDate = 0x100B;
inline constexpr DispId kPatternDuration = 0x100D;

}  // namespace outlook::appointment
