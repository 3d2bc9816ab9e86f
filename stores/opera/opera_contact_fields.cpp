#include "stores/opera/opera_contact_fields.h"

#include "stores/opera/opera_hotlist.h"

QStringList SplitAdrParts(const QString& value) { return value.split(kAdrBreakChar, Qt::SkipEmptyParts); }

void AppendNameFields(const QString& name, ItemRecord& record)
{
    const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) return;
    record.Add(QStringLiteral("FirstName"), words.first());
    if (words.size() == 2) {
        record.Add(QStringLiteral("LastName"), words.last());
    } else if (words.size() == 3) {
        record.Add(QStringLiteral("MiddleName"), words[1]);
        record.Add(QStringLiteral("LastName"), words[2]);
    } else if (words.size() > 3) {
        record.Add(QStringLiteral("LastName"), words.last());
        record.Add(QStringLiteral("MiddleName"), words.mid(1, words.size() - 2).join(QLatin1Char(' ')));
    }
}

QString JoinName(const QString& first, const QString& middle, const QString& last)
{
    QStringList parts;
    for (const QString& p : {first, middle, last})
        if (!p.isEmpty()) parts.append(p);
    return parts.join(QLatin1Char(' '));
}

bool LastTextField(const ItemRecord& record, const QString& name, QString* text)
{
    const int index = static_cast<int>(record.names.lastIndexOf(name));
    if (index < 0) return false;
    if (text) {
        const ItemValue& v = record.values[static_cast<std::size_t>(index)];
        *text = IsIntegerValue(v) ? QString::number(std::get<std::int32_t>(v)) : std::get<QString>(v);
    }
    return true;
}
