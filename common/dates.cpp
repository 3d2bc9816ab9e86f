#include "common/dates.h"

#include <QRegularExpression>
#include <cstdio>
#include <string>

#include "common/errors.h"

namespace {

// Fields of a value; -1 for every field when the value is invalid or not representable.
struct Fields {
    int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
};

Fields BreakIntoFields(const DateValue& date)
{
    if (!date.valid) return {};
    const std::optional<SystemTime> t = OleDateToSystemTime(date.value);
    if (!t) return {};
    return {t->wYear, t->wMonth, t->wDay, t->wHour, t->wMinute, t->wSecond};
}

// Precision, not zero padding, gives the width, so -1 prints as "-01" and "-0001".
QString DateText(const Fields& f)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2d-%.2d-%.4d", f.month, f.day, f.year);
    return QString::fromLatin1(text);
}

QString DateTimeText(const Fields& f)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2d-%.2d-%.4d %.2d:%.2d:%.2d", f.month, f.day, f.year, f.hour,
                  f.minute, f.second);
    return QString::fromLatin1(text);
}

// The shell's lenient integer reading: leading blanks and a sign, then digits up to the first
// other character; no digits read as 0.
int LenientInt(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    int sign = 1;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) sign = text[i++] == u'-' ? -1 : 1;
    int value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = value * 10 + (text[i].unicode() - u'0');
    return sign * value;
}

int FullYear(QStringView digits)
{
    const int year = digits.toInt();
    if (digits.size() == 2) return year < 30 ? 2000 + year : 1900 + year;
    return year;
}

}  // namespace

QString DateToText(const DateValue& date)
{
    if (date.value == kNoDate) return {};
    const Fields f = BreakIntoFields(date);
    if (f.year != -1 && f.hour == 0 && f.minute == 0 && f.second == 0) return DateText(f);
    return DateTimeText(f);
}

QString DateOnlyToText(const DateValue& date)
{
    if (date.value == kNoDateOnly) return {};
    return DateText(BreakIntoFields(date));
}

DateValue TextToDate(const QString& text)
{
    const qsizetype length = text.size();
    const bool dateOnly = length == 9 || length == 10;
    if (!dateOnly && length < 18)
        throw AgentError("not a date text (" + std::to_string(length) + " characters): \"" +
                         text.left(40).toStdString() + "\"");
    const QStringView view(text);
    SystemTime t;
    t.wMonth = LenientInt(view.mid(0, 2));
    t.wDay = LenientInt(view.mid(3, 2));
    t.wYear = LenientInt(view.mid(6, 4));
    if (!dateOnly) {
        t.wHour = LenientInt(view.mid(11, 2));
        t.wMinute = LenientInt(view.mid(14, 2));
        t.wSecond = LenientInt(view.mid(17, 2));
    }
    const std::optional<double> value = SystemTimeToOleDate(t);
    if (!value) return {0.0, false};
    return {*value, true};
}

std::optional<double> ParseDateText(const QString& text, DateTextPart part)
{
    static const QRegularExpression kForm(
        QStringLiteral("^\\s*([0-9]{1,4})([-/.])([0-9]{1,2})\\2([0-9]{1,4})"
                       "(?:(?:\\s+|T)([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?)?\\s*$"));
    const QRegularExpressionMatch m = kForm.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const QStringView first = m.capturedView(1), second = m.capturedView(3), third = m.capturedView(4);
    const QChar separator = m.capturedView(2).front();
    SystemTime t;
    if (first.size() == 4) {
        if (third.size() > 2) return std::nullopt;
        t.wYear = first.toInt();
        t.wMonth = second.toInt();
        t.wDay = third.toInt();
    } else {
        if (first.size() > 2 || (third.size() != 2 && third.size() != 4)) return std::nullopt;
        const bool dayFirst = separator == u'.';
        t.wDay = (dayFirst ? first : second).toInt();
        t.wMonth = (dayFirst ? second : first).toInt();
        t.wYear = FullYear(third);
    }
    if (m.hasCaptured(5)) {
        t.wHour = m.capturedView(5).toInt();
        t.wMinute = m.capturedView(6).toInt();
        t.wSecond = m.hasCaptured(7) ? m.capturedView(7).toInt() : 0;
    }
    // The time must make sense even where only the day is kept.
    const std::optional<double> value = SystemTimeToOleDate(t);
    if (!value || part == DateTextPart::DateAndTime) return value;
    t.wHour = t.wMinute = t.wSecond = 0;
    return SystemTimeToOleDate(t);
}
