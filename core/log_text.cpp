#include "core/log_text.h"

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
        else if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7F)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (i < length) out += QStringLiteral(" [%1 more characters left out]").arg(length - i);
    if (trailingBreak) out += QLatin1Char('\n');
    return out;
}
