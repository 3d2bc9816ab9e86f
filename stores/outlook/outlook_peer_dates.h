#pragma once
// Dates between the peer and the Outlook stores. A date text from the peer is read by the dates
// layer's one rule (ParseDateText); a text it cannot read fails the whole request before
// anything is put or saved, so no item is ever half written. UTC and local time meet only
// through platform/local_time.h, which keeps the no-date values as they are.

#include <QString>
#include <optional>

#include "common/dates.h"

// The peer's date text as a date value. Throws AgentError naming the key and the text when the
// dates layer cannot read it. Empty text throws too: callers decide first what an empty date
// means for them (nothing written in Add, the no-date value in Edit).
double RequirePeerDate(const QString& key, const QString& text, DateTextPart part = DateTextPart::DateAndTime);

// A date the peer sends in UTC, as the local value Outlook stores. Throws as RequirePeerDate;
// empty when the converted moment leaves the representable range: such a date is not written
// rather than written wrong.
std::optional<double> RequirePeerUtcDateAsLocal(const QString& key, const QString& text);

// A date Outlook stores, as the peer's text (DateToText): unconverted, or from local time to UTC.
// The no-date value gives empty text in any zone. Throws AgentError naming the key when the value,
// or its conversion, leaves the representable range: the peer must never get "-01-..." fields.
QString DateAsPeerText(const QString& key, double date);
QString LocalDateAsPeerUtcText(const QString& key, double localDate);
// The same for a recurrence end date, the day only (DateOnlyToText): its no-date value is
// kNoDateOnly.
QString DateOnlyAsPeerText(const QString& key, double date);
