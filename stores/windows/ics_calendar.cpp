#include "stores/windows/ics_calendar.h"

namespace {

// "BEGIN:X" or "END:X": the component name in upper case, else empty.
QString ComponentOf(const QString& line, QStringView keyword)
{
    if (line.size() <= keyword.size() || !line.startsWith(keyword, Qt::CaseInsensitive)) return {};
    return line.mid(keyword.size()).trimmed().toUpper();
}

}  // namespace

IcsCalendar::IcsCalendar(QByteArray bytes) : lines_(std::move(bytes))
{
    // Components nest; an event is a VEVENT block, and its own properties are those at its
    // first level (an alarm's UID names the alarm, not the event).
    struct Open {
        QString name;
        int begin;
    };
    std::vector<Open> stack;
    Event event;
    for (int i = 0; i < lines_.Count(); ++i) {
        // Only component bounds and an event's UID and RECURRENCE-ID lines are decoded.
        const bool inEvent = !stack.empty() && stack.back().name == u"VEVENT";
        const bool bound = lines_.StartsWith(i, "BEGIN:") || lines_.StartsWith(i, "END:");
        if (!bound && !(inEvent && (lines_.StartsWith(i, "UID") || lines_.StartsWith(i, "RECURRENCE-ID")))) continue;
        const QString text = lines_.Text(i);
        if (QString begin = ComponentOf(text, u"BEGIN:"); !begin.isEmpty()) {
            if (begin == u"VCALENDAR") hasCalendarBegin_ = true;
            if (begin == u"VEVENT") event = Event{i, i, {}, false};
            stack.push_back({begin, i});
            continue;
        }
        if (QString end = ComponentOf(text, u"END:"); !end.isEmpty()) {
            if (end == u"VCALENDAR") lastCalendarEnd_ = i;
            // An END that closes nothing open, or the wrong component, leaves the nesting alone.
            if (stack.empty() || stack.back().name != end) continue;
            const Open closed = stack.back();
            stack.pop_back();
            const bool inCalendar = stack.size() == 1 && stack.back().name == u"VCALENDAR";
            if (end == u"VEVENT") {
                event.end = i;
                if (!event.uid.isEmpty()) byUid_[event.uid].push_back(static_cast<int>(events_.size()));
                events_.push_back(event);
            } else if (inCalendar) {
                others_.push_back({end, closed.begin, i});
            }
            continue;
        }
        if (!inEvent) continue;
        const IcsProperty p = SplitIcsProperty(text);
        if (p.name == u"UID") event.uid = p.value;
        else if (p.name == u"RECURRENCE-ID") event.isOverride = true;
    }
}

const std::vector<int>& IcsCalendar::EventsWithUid(const QString& uid) const
{
    static const std::vector<int> kNone;
    const auto found = byUid_.constFind(uid);
    return found == byUid_.constEnd() ? kNone : *found;
}

QStringList IcsCalendar::EventLines(const Event& event) const
{
    QStringList lines;
    lines.reserve(event.end - event.begin + 1);
    for (int i = event.begin; i <= event.end; ++i) lines.append(lines_.Text(i));
    return lines;
}

QString IcsFileHeader()
{
    return QStringLiteral(
        "BEGIN:VCALENDAR\n"
        "VERSION:2.0\n"
        "PRODID:-//Ostrel Software//Twinlark 2.0\n"
        "CALSCALE:GREGORIAN\n"
        "METHOD:PUBLISH\n");
}
