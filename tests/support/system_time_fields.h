#pragma once
// A SystemTime with the given date and time fields; the others (weekday, milliseconds) stay 0.

#include "common/ole_date.h"

inline SystemTime MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    SystemTime t;
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    return t;
}
