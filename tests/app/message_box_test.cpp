#include "app/ui/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "core/log_file.h"
#include "support/temp_home.h"
#include "support/widget_application.h"

namespace {

// The message a failing Outlook connection shows comes while a request is being served: the
// box must be on the screen and the caller going on before anyone answers it.
TEST(MessageBox, OpensWithoutWaitingForAnAnswerAndGoesAwayWhenClosed)
{
    REQUIRE_WIDGET_APPLICATION();
    // A box that waited for its answer would run an event loop of its own; this timer would
    // then fire inside it (and close the box, so the test ends either way).
    bool waited = false;
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        waited = true;
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    QPointer<QMessageBox> box = OpenMessageBox(QStringLiteral("'CContact::Add' Init false"));
    EXPECT_FALSE(waited) << "the box held up its caller";
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("'CContact::Add' Init false"));
    EXPECT_NE(box->windowModality(), Qt::ApplicationModal);

    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull()) << "a closed box stays in memory";
}

TEST(MessageBox, WithoutAScreenTheTextGoesToTheLogAndNoWindowOpens)
{
    REQUIRE_WIDGET_APPLICATION();
    ASSERT_TRUE(IsScreenlessPlatform());
    TempHome home;
    const QString path = home.Path(QStringLiteral("box.log"));
    {
        LogFile log(path);
        ShowMessageBox(QStringLiteral("'CTask::Add' Init false"), &log);
        ShowMessageBox(QStringLiteral("no log: nothing at all"), nullptr);
    }
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(qobject_cast<QMessageBox*>(w));
    EXPECT_TRUE(QString::fromUtf8(home.ReadFile(QStringLiteral("box.log")).value_or(QByteArray()))
                    .contains(QStringLiteral("'CTask::Add' Init false")));
}

}  // namespace
