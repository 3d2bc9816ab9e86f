#include "stores/outlook/contact_write_dates.h"

#include "common/dates.h"
#include "common/errors.h"
#include "stores/outlook/outlook_peer_dates.h"

double ContactDayForWrite(const QString& key, const QString& text)
{
    if (text.isEmpty()) return kNoDate;
    return RequirePeerDate(key, text, DateTextPart::DateOnly);
}

double ContactMomentForWrite(const QString& key, const QString& text)
{
    if (text.isEmpty()) return kNoDate;
    return RequirePeerDate(key, text, DateTextPart::DateAndTime);
}

double ContactTaskDateForWrite(const QString& key, const QString& text)
{
    DateValue date;
    try {
        date = TextToDate(text);
    } catch (const AgentError&) {
        date.valid = false;
    }
    if (!date.valid)
        throw AgentError(QStringLiteral("date \"%1\" cannot be read: \"%2\"").arg(key, text.left(60)));
    return date.value;
}
