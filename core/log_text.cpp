#include "core/log_text.h"

namespace {

// C1 controls count too: NEL (U+0085) ends a line for some of the log's readers.
bool IsEscapedControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F);
}

}  // namespace

QString LogLineText(const QString& line)
{
    const bool trailingBreak = line.endsWith(QLatin1Char('\n'));
    const qsizetype length = line.size() - (trailingBreak ? 1 : 0);
    QString out;
    out.reserve(std::min(length, kMaxLogLineUnits) + 16);
    qsizetype i = 0;
    for (; i < length && out.size() < kMaxLogLineUnits; ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (IsEscapedControl(c))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (i < length) out += QStringLiteral(" [%1 more characters left out]").arg(length - i);
    if (trailingBreak) out += QLatin1Char('\n');
    return out;
}
