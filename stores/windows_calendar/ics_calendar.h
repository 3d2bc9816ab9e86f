#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

#include "stores/windows_calendar/ics_lines.h"

// The layout of one calendar file: where its events and its other components stand, so that a
// store can read one event, rewrite it, or remove it and leave every other byte as it was.
class IcsCalendar {
public:
    // One VEVENT block, by its unfolded lines.
    struct Event {
        int begin = 0;            // the "BEGIN:VEVENT" line
        int end = 0;              // the "END:VEVENT" line
        QString uid;              // the event's own UID line (not its alarm's); empty when none
        bool isOverride = false;  // a changed occurrence of a series (it has a RECURRENCE-ID)
        bool zoned = false;       // a DTSTART or DTEND line of its own carries a TZID parameter
    };
    // A component that is not an event, nor part of one (VTIMEZONE, VTODO, VJOURNAL...), in file
    // order; the parts of a time zone or an alarm are not listed.
    struct Component {
        QString name;  // upper case
        int begin = 0;
        int end = 0;
    };

    // Components nest a few levels in real files (calendar, time zone, its rules; calendar, event,
    // alarm). A file nested deeper is no calendar anyone wrote, and is damaged.
    static constexpr int kMaxDepth = 64;

    IcsCalendar() = default;
    explicit IcsCalendar(QByteArray bytes);

    // Why the file is no calendar to serve or change: empty when it is sound. A damaged file lists
    // no event and no component.
    const QString& Damage() const { return damage_; }
    // Whether the bytes are UTF-8 throughout (looked at only when asked: it costs a whole decode).
    bool IsUtf8() const;

    const IcsLines& Lines() const { return lines_; }
    const std::vector<Event>& Events() const { return events_; }
    const std::vector<Component>& OtherComponents() const { return others_; }
    // The last "END:VCALENDAR" line, or -1: a file without one is not a calendar.
    int LastCalendarEnd() const { return lastCalendarEnd_; }
    bool HasCalendarBegin() const { return hasCalendarBegin_; }

    // The events whose UID is `uid` (compared exactly), in file order, as indexes into Events().
    const std::vector<int>& EventsWithUid(const QString& uid) const;

    // The unfolded lines of an event, "BEGIN:VEVENT" to "END:VEVENT".
    QStringList EventLines(const Event& event) const;

private:
    IcsLines lines_;
    std::vector<Event> events_;
    std::vector<Component> others_;
    QHash<QString, std::vector<int>> byUid_;
    int lastCalendarEnd_ = -1;
    bool hasCalendarBegin_ = false;
    QString damage_;
};

// What a calendar file this store creates starts with, each line ending in "\n".
QString IcsFileHeader();
inline constexpr char kIcsCalendarEnd[] = "END:VCALENDAR";
