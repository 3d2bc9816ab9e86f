// Arbitrary bytes as a calendar file: every event is read and mapped to the peer's fields, and
// removing one event's lines leaves every other event in its place: a delete may not lose or
// damage another event.
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/errors.h"
#include "stores/windows_calendar/appointment_fields.h"
#include "stores/windows_calendar/ics_calendar.h"
#include "stores/windows_calendar/vevent.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const IcsCalendar calendar(bytes);
    const auto& events = calendar.Events();
    for (const IcsCalendar::Event& event : events) {
        VEventRecord record;
        ParseVEvent(record, calendar.EventLines(event));
        ItemRecord fields;
        try {
            AppendAppointmentFields(record, QStringLiteral("C"), fields);
        } catch (const AgentError&) {
        }
        QStringList lines;
        WriteVEvent(lines, record);
    }
    if (events.empty()) return 0;
    // Remove the middle event's lines, as a delete does.
    const std::size_t gone = events.size() / 2;
    const IcsLines& lines = calendar.Lines();
    QByteArray rest = bytes;
    const qsizetype from = lines.StartOffset(events[gone].begin);
    rest.remove(from, lines.EndOffset(events[gone].end) - from);
    // Every other event is still there, in order. (In a damaged file an unfinished
    // "BEGIN:VEVENT" before the removed event may now reach a stray "END:VEVENT" after it: such
    // an event may appear, but none may go.)
    const IcsCalendar after(rest);
    std::size_t j = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i == gone) continue;
        while (j < after.Events().size() && (after.Events()[j].uid != events[i].uid ||
                                             after.Events()[j].isOverride != events[i].isOverride))
            ++j;
        if (j == after.Events().size()) std::abort();
        ++j;
    }
    return 0;
}
