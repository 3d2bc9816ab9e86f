#include "stores/outlook/outlook_peer_dates.h"

#include "common/errors.h"
#include "common/ole_date.h"
#include "platform/local_time.h"

namespace {

// Long texts are cut so that one bad record cannot flood the log.
QString Quoted(const QString& text)
{
    constexpr qsizetype kShown = 60;
    return u'"' + text.left(kShown) + (text.size() > kShown ? QStringLiteral("...\"") : QStringLiteral("\""));
}

[[noreturn]] void RefuseUnrepresentable(const QString& key, double date)
{
    throw AgentError(QStringLiteral("date \"%1\" holds %2, which is no representable date").arg(key).arg(date, 0, 'f', 6));
}

}  // namespace

double RequirePeerDate(const QString& key, const QString& text, DateTextPart part)
{
    const std::optional<double> date = ParseDateText(text, part);
    if (!date) throw AgentError(QStringLiteral("date \"%1\" cannot be read: %2").arg(key, Quoted(text)));
    return *date;
}

std::optional<double> RequirePeerUtcDateAsLocal(const QString& key, const QString& text)
{
    const DateValue local = UtcDateToLocal(RequirePeerDate(key, text));
    if (!local.valid) return std::nullopt;
    return local.value;
}

QString DateAsPeerText(const QString& key, double date)
{
    if (date == kNoDate) return {};
    if (!OleDateToSystemTime(date)) RefuseUnrepresentable(key, date);
    return DateToText(date);
}

QString LocalDateAsPeerUtcText(const QString& key, double localDate)
{
    if (localDate == kNoDate) return {};
    const DateValue utc = LocalDateToUtc(localDate);
    if (!utc.valid) RefuseUnrepresentable(key, localDate);
    return DateAsPeerText(key, utc.value);
}

QString DateOnlyAsPeerText(const QString& key, double date)
{
    if (date == kNoDateOnly) return {};
    if (!OleDateToSystemTime(date)) RefuseUnrepresentable(key, date);
    return DateOnlyToText(date);
}
