#include "common/item_id.h"

#include <QUuid>

#include "common/errors.h"

QString NewItemId()
{
    // The GUID's registry form without its braces and dashes, in upper case.
    QString hex = QUuid::createUuid().toString(QUuid::Id128).toUpper();
    return hex + QStringLiteral("0000000000000000");
}

void RequireItemId(const QString& id)
{
    if (!IsItemId(id))
        throw AgentError("item identifier of " + std::to_string(id.size()) + " units, not 48: " +
                         id.left(64).toStdString());
}

QString PadItemId(const QString& nativeId)
{
    return nativeId.leftJustified(kItemIdUnits, QLatin1Char('0'), false);
}
