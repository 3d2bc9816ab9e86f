#include <gtest/gtest.h>

#include "common/xml_characters.h"

TEST(XmlCharacters, ForbiddenCharactersBecomeLineBreaksOrGo)
{
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {QStringLiteral("plain \t\r\n text"), QStringLiteral("plain \t\r\n text")},
        {QString::fromUtf16(u"one\u000Btwo\u000Cthree"), QStringLiteral("one\ntwo\nthree")},
        {QString::fromUtf16(u"a\u0001\u0008\u001Fb"), QStringLiteral("ab")},
        {QString::fromUtf16(u"\u00E9\uFFFE\uFFFFz"), QString::fromUtf16(u"\u00E9z")},
        // A pair stays; a high or low surrogate alone goes.
        {QString::fromUtf16(u"\U0001F600"), QString::fromUtf16(u"\U0001F600")},
        {QString(QChar(0xD83D)) + QStringLiteral("x") + QChar(0xDE00), QStringLiteral("x")},
        {QStringLiteral("end") + QChar(0xD83D), QStringLiteral("end")},
        {QString(), QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(XmlCharactersOnly(c.in), c.out) << c.in.toStdString();
        EXPECT_EQ(HasOnlyXmlCharacters(c.in), c.in == c.out) << c.in.toStdString();
    }
}
