// The connection prompt and the about box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/ui/about_dlg.h"
#include "app/ui/connection_dlg.h"
#include "support/widget_application.h"

namespace {

TEST(ConnectionPrompt, ButtonsAnswerAndAnyOtherCloseDenies)
{
    REQUIRE_WIDGET_APPLICATION();
    struct Case {
        const char* what;
        std::function<void(CConnectionDlg&)> act;
        ConnectionChoice choice;
    };
    const Case cases[] = {
        {"allow", [](CConnectionDlg& d) { d.Button(ConnectionChoice::Allow)->click(); },
         ConnectionChoice::Allow},
        {"deny", [](CConnectionDlg& d) { d.Button(ConnectionChoice::Deny)->click(); },
         ConnectionChoice::Deny},
        {"allow and add", [](CConnectionDlg& d) { d.Button(ConnectionChoice::AllowAndAdd)->click(); },
         ConnectionChoice::AllowAndAdd},
        {"escape", [](CConnectionDlg& d) { d.reject(); }, ConnectionChoice::Deny},
        {"close box", [](CConnectionDlg& d) { d.close(); }, ConnectionChoice::Deny},
    };
    const QString text = QStringLiteral("IP 10.0.0.9 not in your list is trying to connect to your PC");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CConnectionDlg prompt(1033, text);
        EXPECT_EQ(prompt.Message()->toPlainText(), text);
        EXPECT_TRUE(prompt.Message()->isReadOnly());
        QTimer::singleShot(0, &prompt, [&] { c.act(prompt); });
        EXPECT_EQ(prompt.Ask(), c.choice);
    }
}

TEST(ConnectionPrompt, ButtonsSpeakTheStoredLanguage)
{
    REQUIRE_WIDGET_APPLICATION();
    CConnectionDlg prompt(1049, QString());
    EXPECT_EQ(prompt.Button(ConnectionChoice::Allow)->text(), QStringLiteral("Разрешить"));
    EXPECT_EQ(prompt.Button(ConnectionChoice::Deny)->text(), QStringLiteral("Запретить"));
    EXPECT_EQ(prompt.Button(ConnectionChoice::AllowAndAdd)->text(), QStringLiteral("Разрешить и добавить"));
}

TEST(AboutBox, ShowsTheVersionAndClosesOnAClick)
{
    REQUIRE_WIDGET_APPLICATION();
    CAboutDlg about;
    EXPECT_EQ(about.VersionLabel()->text(), QStringLiteral("Version 2.1\nBuild 2.0.0"));
    EXPECT_TRUE(about.VersionLabel()->font().bold());
    EXPECT_EQ(about.VersionLabel()->font().pointSize(), 12);
    EXPECT_EQ(about.VersionLabel()->palette().color(QPalette::WindowText), QColor(0, 52, 99));
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_GT(about.width(), 100);
    QTimer::singleShot(0, &about, [&] {
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&about, &release);
    });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

}  // namespace
