#include "platform/safe_name.h"

#include <gtest/gtest.h>

#include "common/errors.h"

namespace {

TEST(SafeName, AcceptsPlainNames)
{
    for (const QString& name : {QStringLiteral("M"), QStringLiteral("DESKTOP-4711.Contact"),
                                QStringLiteral("M."), QStringLiteral("..."), QStringLiteral(".hidden"),
                                QStringLiteral("a b"), QString::fromUtf8("Jürgens Rechner 東京"),
                                QString::fromUtf8("PC \xf0\x9f\x98\x80"), QString(200, QLatin1Char('x'))}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(IsSafeFileNameComponent(name));
        EXPECT_EQ(&RequireSafeFileNameComponent(name, "name"), &name);
    }
}

TEST(SafeName, RefusesWhatIsNoPlainName)
{
    struct Case {
        const char* label;
        QString name;
    };
    const Case cases[] = {
        {"empty", QString()},
        {"dot", QStringLiteral(".")},
        {"dot dot", QStringLiteral("..")},
        {"slash", QStringLiteral("a/b")},
        {"leading slash", QStringLiteral("/etc")},
        {"backslash", QStringLiteral("a\\b")},
        {"line feed", QStringLiteral("a\nb")},
        {"tab", QStringLiteral("\t")},
        {"zero unit", QStringLiteral("a") + QChar(0)},
        {"delete", QStringLiteral("a\x7f")},
        {"over 200 UTF-8 bytes", QString(101, QChar(0x00FC))},
        // An unpaired surrogate would become U+FFFD: two identifiers would share one file.
        {"lone high surrogate", QStringLiteral("PC") + QChar(0xD800) + QStringLiteral("x")},
        {"lone low surrogate at the end", QStringLiteral("PC") + QChar(0xDC00)},
        {"surrogates in the wrong order", QStringLiteral("PC") + QChar(0xDC00) + QChar(0xD800)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_FALSE(IsSafeFileNameComponent(c.name));
        EXPECT_THROW(RequireSafeFileNameComponent(c.name, "machine identifier"), AgentError);
    }
}

}  // namespace
