#include "common/item_id.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "common/errors.h"

namespace {

TEST(ItemId, NewItemIdIsHexGuidThenSixteenZeros)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9A-F]{32}0{16}$"));
    QSet<QString> seen;
    for (int i = 0; i < 100; ++i) {
        const QString id = NewItemId();
        ASSERT_EQ(id.size(), kItemIdUnits) << id.toStdString();
        EXPECT_TRUE(shape.match(id).hasMatch()) << id.toStdString();
        EXPECT_TRUE(IsItemId(id));
        EXPECT_NO_THROW(RequireItemId(id));
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100);
}

TEST(ItemId, RequireItemIdRefusesOtherWidths)
{
    for (int units : {0, 1, 10, 47, 49, 70, 140}) {
        SCOPED_TRACE(units);
        const QString id(units, QLatin1Char('A'));
        EXPECT_FALSE(IsItemId(id));
        EXPECT_THROW(RequireItemId(id), AgentError);
    }
}

TEST(ItemId, PadItemIdFillsWithZeroCharacters)
{
    EXPECT_EQ(PadItemId(QStringLiteral("1234")), QStringLiteral("1234") + QString(44, QLatin1Char('0')));
    EXPECT_EQ(PadItemId(QString()), QString(48, QLatin1Char('0')));
    const QString full = NewItemId();
    EXPECT_EQ(PadItemId(full), full);
}

}  // namespace
