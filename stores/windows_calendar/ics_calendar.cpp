#include "stores/windows_calendar/ics_calendar.h"

#include <QStringDecoder>
#include <algorithm>
#include <string>

namespace {

// "BEGIN:X" or "END:X": the component name in upper case, else empty.
QString ComponentOf(const QString& line, QStringView keyword)
{
    if (line.size() <= keyword.size() || !line.startsWith(keyword, Qt::CaseInsensitive)) return {};
    return line.mid(keyword.size()).trimmed().toUpper();
}

// "UTF-16, little-endian" when the bytes are UTF-16 text (by its byte-order mark, or a first
// character of the ASCII range with its zero byte), else empty. Windows tools save text so on
// request; read as UTF-8 it holds no line that begins a calendar, which would say
// nothing of why nothing is served, and an add would name a missing END:VCALENDAR instead.
QString Utf16Form(const QByteArray& bytes)
{
    if (bytes.size() < 2) return {};
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 != 0 && b0 < 0x80 && b1 == 0)) return QStringLiteral("UTF-16, little-endian");
    if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0 && b1 != 0 && b1 < 0x80)) return QStringLiteral("UTF-16, big-endian");
    return {};
}

}  // namespace

IcsCalendar::IcsCalendar(QByteArray bytes) : lines_(std::move(bytes))
{
    if (const QString form = Utf16Form(lines_.Bytes()); !form.isEmpty()) {
        damage_ = QStringLiteral("it is stored as %1, and only UTF-8 calendars are read").arg(form);
        return;
    }
    // An event is the run of lines from a "BEGIN:VEVENT" line to the next "END:VEVENT" line; a
    // "BEGIN:VEVENT" inside such a run starts it anew (the unfinished one is no event), so events
    // never overlap. Its own properties are those outside its components (an alarm's UID names
    // the alarm). Other components are remembered where they stand, wherever they nest, except
    // the parts of an alarm or a time zone.
    struct Open {
        QString name;
        int begin;
    };
    std::vector<Open> stack;
    // The component a BEGIN or END line names; the usual ones are recognised without decoding.
    static const char* const kKnown[] = {"VEVENT",   "VALARM",   "VCALENDAR", "VTIMEZONE",
                                         "STANDARD", "DAYLIGHT", "VTODO"};
    static const auto kLines = [](const char* keyword) {
        std::vector<std::string> lines;
        for (const char* name : kKnown) lines.push_back(std::string(keyword) + name);
        return lines;
    };
    static const std::vector<std::string> kBeginLines = kLines("BEGIN:"), kEndLines = kLines("END:");
    const auto ComponentName = [this](int line, bool begin) -> QString {
        const char* keyword = begin ? "BEGIN:" : "END:";
        if (!lines_.StartsWith(line, keyword)) return {};
        const std::vector<std::string>& known = begin ? kBeginLines : kEndLines;
        for (std::size_t k = 0; k < known.size(); ++k)
            if (lines_.Is(line, known[k])) return QString::fromLatin1(kKnown[k]);
        return ComponentOf(lines_.Text(line), QString::fromLatin1(keyword));
    };
    Event event;
    bool inEvent = false;
    int depthInEvent = 0;
    for (int i = 0; i < lines_.Count(); ++i) {
        // Only component bounds and an event's UID and RECURRENCE-ID lines are decoded.
        const bool atEventLevel = inEvent && depthInEvent == 0;
        const bool bound = lines_.StartsWith(i, "BEGIN:") || lines_.StartsWith(i, "END:");
        if (!bound && !(atEventLevel && (lines_.StartsWith(i, "UID") || lines_.StartsWith(i, "RECURRENCE-ID") ||
                                         lines_.StartsWith(i, "DTSTART;") || lines_.StartsWith(i, "DTEND;"))))
            continue;
        if (QString begin = ComponentName(i, true); !begin.isEmpty()) {
            const std::size_t depth = stack.size() + (inEvent ? 1 + static_cast<std::size_t>(depthInEvent) : 0);
            if (depth >= static_cast<std::size_t>(kMaxDepth)) {
                damage_ = QStringLiteral("its components nest deeper than %1 levels (line %2)")
                              .arg(kMaxDepth)
                              .arg(i + 1);
                events_.clear();
                others_.clear();
                byUid_.clear();
                return;
            }
            if (begin == u"VCALENDAR") {
                hasCalendarBegin_ = true;
            } else if (begin == u"VEVENT") {
                event = Event{i, i, {}, false};
                inEvent = true;
                depthInEvent = 0;
            } else if (inEvent) {
                ++depthInEvent;
            } else {
                stack.push_back({begin, i});
            }
            continue;
        }
        if (QString end = ComponentName(i, false); !end.isEmpty()) {
            if (end == u"VCALENDAR") {
                lastCalendarEnd_ = i;
            } else if (end == u"VEVENT") {
                if (!inEvent) continue;
                event.end = i;
                if (!event.uid.isEmpty()) byUid_[event.uid].push_back(static_cast<int>(events_.size()));
                events_.push_back(event);
                inEvent = false;
            } else if (inEvent) {
                if (depthInEvent > 0) --depthInEvent;
            } else {
                // The innermost open component of that name; an END that closes none is ignored.
                for (auto open = stack.rbegin(); open != stack.rend(); ++open)
                    if (open->name == end) {
                        if (end != u"STANDARD" && end != u"DAYLIGHT" && end != u"VALARM")
                            others_.push_back({end, open->begin, i});
                        stack.erase(std::next(open).base(), stack.end());
                        break;
                    }
            }
            continue;
        }
        if (lines_.StartsWith(i, "UID:")) {
            event.uid = lines_.Text(i).mid(4);
            continue;
        }
        const IcsProperty p = SplitIcsProperty(lines_.Text(i));
        if (p.name == u"UID")
            event.uid = p.value;
        else if (p.name == u"RECURRENCE-ID")
            event.isOverride = true;
        else if ((p.name == u"DTSTART" || p.name == u"DTEND") && HasIcsParamNamed(p.params, u"TZID"))
            event.zoned = true;
    }
    // Components come in the order they close; a component inside another closes first.
    std::sort(others_.begin(), others_.end(),
              [](const Component& a, const Component& b) { return a.begin < b.begin; });
}

bool IcsCalendar::IsUtf8() const
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = decoder(lines_.Bytes());
    return !decoder.hasError();
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
