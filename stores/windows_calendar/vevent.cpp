#include "stores/windows_calendar/vevent.h"

#include "stores/windows_calendar/ics_lines.h"

#include <algorithm>

void ParseVEvent(VEventRecord& record, const QStringList& lines)
{
    // Depth 1 is the event itself, 2 a component inside it; only an alarm there is read.
    int depth = 0;
    bool inAlarm = false;
    for (const QString& line : lines) {
        const IcsProperty p = SplitIcsProperty(line);
        if (p.name == u"BEGIN") {
            ++depth;
            if (depth == 2 && p.value.compare(u"VALARM", Qt::CaseInsensitive) == 0) {
                inAlarm = true;
                record.HasAlarm = 1;
                record.AlarmAction.clear();
                record.AlarmDescription.clear();
                record.AlarmTrigger.clear();
                record.AlarmUid.clear();
            }
            continue;
        }
        if (p.name == u"END") {
            if (depth == 2) inAlarm = false;
            --depth;
            continue;
        }
        if (inAlarm) {
            if (p.name == u"ACTION")
                record.AlarmAction = p.value;
            else if (p.name == u"DESCRIPTION")
                record.AlarmDescription = p.value;
            else if (p.name == u"TRIGGER")
                record.AlarmTrigger = p.value;
            else if (p.name == u"X-WR-ALARMUID")
                record.AlarmUid = p.value;
            continue;
        }
        if (depth != 1) continue;
        if (p.name == u"SUMMARY")
            record.Summary = p.value;
        else if (p.name == u"LOCATION")
            record.Location = p.value;
        else if (p.name == u"URL")
            record.Url = p.value;
        else if (p.name == u"DESCRIPTION")
            record.Description = p.value;
        else if (p.name == u"DTSTAMP")
            record.DtStamp = p.value;
        else if (p.name == u"RRULE")
            record.Rrule = p.value;
        else if (p.name == u"UID")
            record.Uid = p.value;
        else if (p.name == u"DURATION")
            record.Duration = p.value;
        else if (p.name == u"DTSTART") {
            record.DtStart = IcsDateValue(line);
            record.DtStartTzid = IcsParamValue(p.params, u"TZID");
            if (HasIcsParam(p.params, u"VALUE", u"DATE")) record.AllDay = 1;
        } else if (p.name == u"DTEND") {
            record.DtEnd = IcsDateValue(line);
            record.DtEndTzid = IcsParamValue(p.params, u"TZID");
        }
    }
}

QString JoinRuleParts(const VEventRecord& r)
{
    QStringList parts;
    const auto add = [&](const char* name, const QString& value) {
        if (!value.isEmpty()) parts.append(QLatin1String(name) + u'=' + value);
    };
    add("FREQ", r.FreqPart);
    add("INTERVAL", r.IntervalPart);
    add("COUNT", r.CountPart);
    add("UNTIL", r.UntilPart);
    add("BYMONTHDAY", r.ByMonthDayPart);
    add("BYDAY", r.ByDayPart);
    add("BYMONTH", r.ByMonthPart);
    add("BYSETPOS", r.BySetPosPart);
    return parts.join(u';');
}

namespace {

// A trigger is a duration ("-PT15M", "PT0S") or a date-time; only the latter needs saying so.
bool IsDurationTrigger(const QString& trigger)
{
    return trigger.startsWith(u'-') || trigger.startsWith(u'+') || trigger.startsWith(u'P');
}

}  // namespace

namespace {

// A value as a content line may hold it: no control character but TAB. Line breaks, including
// the vertical tab and form feed a pasted manual line break brings, become the escaped break;
// the other controls and DEL are dropped. Values are escaped already, so a break can only come
// from a line of another program read back or from text that was never escaped.
QString ContentLineValue(const QString& value)
{
    const auto isControl = [](QChar c) {
        return (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F;
    };
    if (std::none_of(value.begin(), value.end(), isControl)) return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (!isControl(c)) {
            out += c;
        } else if (c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f') {
            if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n') ++i;
            out += QStringLiteral("\\n");
        }
    }
    return out;
}

}  // namespace

void WriteVEvent(QStringList& lines, const VEventRecord& r)
{
    const auto put = [&](const char* prefix, const QString& value) {
        lines.append(QLatin1String(prefix) + ContentLineValue(value) + u'\n');
    };
    lines.append(QStringLiteral("BEGIN:VEVENT\n"));
    if (!r.Description.isEmpty()) put("DESCRIPTION:", r.Description);
    put("DTSTAMP:", r.DtStamp);
    // A zone name holding a character that ends a parameter is quoted; no name holds a quote.
    const auto zoned = [](const char* name, const QString& tzid) {
        if (tzid.isEmpty()) return QString::fromLatin1(name) + u':';
        QString value = ContentLineValue(tzid).remove(u'"');
        if (value.contains(u':') || value.contains(u';') || value.contains(u',')) value = u'"' + value + u'"';
        return QString::fromLatin1(name) + QStringLiteral(";TZID=") + value + u':';
    };
    const auto putLine = [&](const QString& prefix, const QString& value) {
        lines.append(prefix + ContentLineValue(value) + u'\n');
    };
    if (r.AllDay)
        put("DTSTART;VALUE=DATE:", r.DtStart);
    else
        putLine(zoned("DTSTART", r.DtStartTzid), r.DtStart);
    if (!r.Duration.isEmpty())
        put("DURATION:", r.Duration);
    else if (r.DtEnd.size() == 8)
        put("DTEND;VALUE=DATE:", r.DtEnd);
    else if (!r.DtEnd.isEmpty())
        putLine(zoned("DTEND", r.DtEndTzid), r.DtEnd);
    if (!r.Location.isEmpty()) put("LOCATION:", r.Location);
    const QString rule = JoinRuleParts(r);
    if (!rule.isEmpty()) put("RRULE:", rule);
    if (!r.Summary.isEmpty()) put("SUMMARY:", r.Summary);
    put("UID:", r.Uid);
    if (!r.Url.isEmpty()) put("URL:", r.Url);
    if (r.HasAlarm) {
        lines.append(QStringLiteral("BEGIN:VALARM\n"));
        put("ACTION:", r.AlarmAction);
        put("DESCRIPTION:", r.AlarmDescription);
        put(IsDurationTrigger(r.AlarmTrigger) ? "TRIGGER:" : "TRIGGER;VALUE=DATE-TIME:", r.AlarmTrigger);
        put("X-WR-ALARMUID:", r.AlarmUid);
        lines.append(QStringLiteral("END:VALARM\n"));
    }
    lines.append(QStringLiteral("END:VEVENT\n"));
}

bool IsWrittenEventProperty(const QString& name)
{
    static const QStringList kWritten = {QStringLiteral("DESCRIPTION"), QStringLiteral("DTSTAMP"),
                                         QStringLiteral("DTSTART"),     QStringLiteral("DTEND"),
                                         QStringLiteral("DURATION"),    QStringLiteral("LOCATION"),
                                         QStringLiteral("RRULE"),       QStringLiteral("SUMMARY"),
                                         QStringLiteral("UID"),         QStringLiteral("URL")};
    return kWritten.contains(name);
}

QString EscapeIcsText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            out += QStringLiteral("\\n");
        } else if (c == u'\n' || c == u'\v' || c == u'\f') {
            out += QStringLiteral("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString UnescapeIcsText(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[i + 1];
        if (next == u'n' || next == u'N')
            out += u'\n';
        else if (next == u'\\' || next == u',' || next == u';')
            out += next;
        else {
            // Not an escape this format knows: the backslash stays.
            out += c;
            continue;
        }
        ++i;
    }
    return out;
}
