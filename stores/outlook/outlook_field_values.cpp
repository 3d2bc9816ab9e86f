#include "stores/outlook/outlook_field_values.h"

#include <optional>

#include "common/errors.h"

QString OutlookText(const ItemValue& value)
{
    QString text = ItemValueText(value);
    if (const qsizetype nul = text.indexOf(QChar(u'\0')); nul >= 0) text.truncate(nul);
    return text;
}

std::int32_t RequireOutlookInteger(const char* itemKind, const QString& key, const ItemValue& value)
{
    const std::optional<std::int32_t> number = ItemValueInteger(value);
    if (!number)
        throw AgentError(QStringLiteral("%1 field \"%2\" is not a number: \"%3\"")
                             .arg(QString::fromLatin1(itemKind), key, ItemValueText(value).left(60)));
    return *number;
}
