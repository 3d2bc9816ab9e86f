#include "platform/xdg_autostart.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

namespace {

TEST(XdgAutostart, ExecLineQuotesAnyPath)
{
    struct Case {
        QString program;
        const char* exec;
    };
    const Case cases[] = {
        {QStringLiteral("/usr/bin/twinlark"), "Exec=\"/usr/bin/twinlark\"\n"},
        {QStringLiteral("/opt/My Apps/twinlark"), "Exec=\"/opt/My Apps/twinlark\"\n"},
        // Quoting rule first (" ` $ \ take a backslash, % doubles), then the string escapes.
        {QStringLiteral("/opt/a\"b`c$d%e\\f"), "Exec=\"/opt/a\\\\\"b\\\\`c\\\\$d%%e\\\\\\\\f\"\n"},
        {QStringLiteral("/opt/\u00e9t\u00e9"), "Exec=\"/opt/\xC3\xA9t\xC3\xA9\"\n"},
    };
    for (const Case& c : cases) {
        const QByteArray entry = XdgAutostartEntry(QStringLiteral("TwinLark"), c.program);
        EXPECT_TRUE(entry.contains(c.exec)) << entry.toStdString();
        EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n")) << entry.toStdString();
    }
}

TEST(XdgAutostart, WritesAndRemovesTheEntry)
{
    TempHome home;
    EXPECT_EQ(XdgAutostartPath(QStringLiteral("X")),
              home.Path(QStringLiteral(".config/autostart/X.desktop")));
    ASSERT_TRUE(WriteXdgAutostart(QStringLiteral("X"), QStringLiteral("Name"), QStringLiteral("/bin/x")));
    EXPECT_EQ(home.ReadFile(QStringLiteral(".config/autostart/X.desktop")),
              XdgAutostartEntry(QStringLiteral("Name"), QStringLiteral("/bin/x")));
    EXPECT_TRUE(RemoveXdgAutostart(QStringLiteral("X")));
    EXPECT_FALSE(home.Exists(QStringLiteral(".config/autostart/X.desktop")));
    EXPECT_TRUE(RemoveXdgAutostart(QStringLiteral("X"))) << "nothing left to remove is fine";
}

}  // namespace
