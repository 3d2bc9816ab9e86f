#include "app/ui/twinlark_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>

#include "core/lang_strings.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/file_transfers.h"
#include "net/agent_server.h"
#include "stores/catalog/store_set.h"
#include "support/outlook/outlook_emulation.h"
#include "support/planted_settings.h"
#include "support/qt_event_loop.h"
#include "support/widget_application.h"

namespace {

QString TextOf(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    return {};
}

void Type(QWidget* target, int key, const QString& text = {},
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

void TypeText(QWidget* target, const QString& text)
{
    for (QChar c : text)
        Type(target, c.isDigit() ? Qt::Key_0 + c.digitValue() : c.toUpper().unicode(), QString(c));
}

QString Home(const char* relative, const TempHome& home)
{
    return QString::fromUtf8(home.ReadFile(QString::fromLatin1(relative)).value_or(QByteArray()));
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_WIDGET_APPLICATION(); }

    // Builds and initialises the window in the planted settings.
    // The desktop has a tray unless a test says otherwise.
    CTwinLarkDlg& Open(std::map<QString, unsigned> settings = {}, bool trayAvailable = true)
    {
        PlantSettings(home_, std::move(settings));
        dialog_ = std::make_unique<CTwinLarkDlg>();
        dialog_->SetTrayAvailability([trayAvailable] { return trayAvailable; });
        dialog_->SetUrlOpener([this](const QUrl& url) {
            opened_.append(url);
            return true;
        });
        dialog_->OnInitDialog();
        return *dialog_;
    }
    QStringList LogLines()
    {
        return Home(".local/share/TwinLark/TwinLark.log", home_).split(QLatin1Char('\n'));
    }

    TempHome home_;
    std::unique_ptr<CTwinLarkDlg> dialog_;
    QList<QUrl> opened_;
};

// Control -> string id of its text once the server runs.
const std::map<int, int> kControlTexts = {
    {1032, 109}, {1033, 131}, {1015, 108}, {1029, 117}, {1021, 112}, {1030, 118}, {1010, 116}, {1004, 115},
    {1017, 114}, {1018, 113}, {1027, 110}, {1028, 111}, {1031, 129}, {1026, 104}, {1022, 107},
};

TEST_F(MainDialogTest, TextsAndTrayMenuFollowTheStoredLanguage)
{
    struct Case {
        unsigned language;
        const char* readyText;
        const char* exitCommand;
    };
    for (const Case& c :
         {Case{1049, "Готов к подключению", "Выход"}, Case{1033, "Ready to connect", "Exit"}}) {
        SCOPED_TRACE(c.language);
        dialog_.reset();
        CTwinLarkDlg& dlg = Open({{QStringLiteral("langID"), c.language}});
        ASSERT_TRUE(dlg.Server().IsRunning());
        for (const auto& [control, string] : kControlTexts)
            EXPECT_EQ(TextOf(dlg.Control(control)), LoadLangString(c.language, string))
                << "control " << control;
        EXPECT_EQ(TextOf(dlg.Control(1026)), QString::fromUtf8(c.readyText));
        EXPECT_EQ(dlg.Control(1000)->toolTip(), LoadLangString(c.language, 127));
        EXPECT_EQ(dlg.Control(1011)->toolTip(), LoadLangString(c.language, 128));
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("TwinLark 2.1 by Ostrel Software"));

        const QList<QAction*> actions = dlg.TrayMenu()->actions();
        const QList<TrayMenuCommand> expected = LoadTrayMenu(c.language);
        ASSERT_EQ(actions.size(), expected.size());
        for (int i = 0; i < actions.size(); ++i) {
            EXPECT_EQ(actions[i]->text(), expected[i].text);
            EXPECT_EQ(actions[i]->data().toInt(), expected[i].command);
        }
        EXPECT_EQ(actions.last()->text(), QString::fromUtf8(c.exitCommand));
        // A running server offers "Disable", not "Enable".
        EXPECT_FALSE(actions[0]->isEnabled());
        EXPECT_TRUE(actions[1]->isEnabled());
        EXPECT_EQ(dlg.Tray()->contextMenu(), dlg.TrayMenu());
        EXPECT_EQ(dlg.Tray()->toolTip(), LoadLangString(c.language, 132));
    }
}

TEST_F(MainDialogTest, LanguageWithoutTableShowsEnglishAndKeepsTheMenu)
{
    CTwinLarkDlg& dlg = Open({{QStringLiteral("langID"), 2052}});
    EXPECT_EQ(TextOf(dlg.Control(1026)), QStringLiteral("Ready to connect"));
    ASSERT_EQ(dlg.TrayMenu()->actions().size(), 7);
    EXPECT_EQ(dlg.TrayMenu()->actions().last()->text(), QStringLiteral("Exit"));
}

TEST_F(MainDialogTest, ColoursFontsAndServerStateControls)
{
    CTwinLarkDlg& dlg = Open();
    const auto colour = [&](int id) { return dlg.Control(id)->palette().color(QPalette::WindowText); };
    EXPECT_EQ(colour(1015), QColor(0, 76, 176));
    EXPECT_EQ(colour(1020), QColor(0, 76, 176));
    EXPECT_EQ(colour(1025), QColor(0, 76, 176));
    EXPECT_EQ(colour(1026), QColor(0, 45, 0));
    EXPECT_TRUE(dlg.Control(1015)->font().bold());
    EXPECT_EQ(dlg.Control(1015)->font().pointSize(), 10);
    EXPECT_EQ(dlg.Control(1022)->font().pointSize(), 8);
    EXPECT_TRUE(dlg.Control(1023)->isVisibleTo(&dlg));
    EXPECT_FALSE(dlg.Control(1024)->isVisibleTo(&dlg));

    dlg.OnCommand(kCmdDisable);
    EXPECT_FALSE(dlg.Server().IsRunning());
    EXPECT_EQ(colour(1026), QColor(209, 0, 0));
    EXPECT_EQ(TextOf(dlg.Control(1026)), QStringLiteral("Unavailable for connection"));
    EXPECT_EQ(TextOf(dlg.Control(1022)), QStringLiteral("Enable"));
    EXPECT_FALSE(dlg.Control(1023)->isVisibleTo(&dlg));
    EXPECT_TRUE(dlg.Control(1024)->isVisibleTo(&dlg));
    EXPECT_TRUE(dlg.TrayMenu()->actions()[0]->isEnabled());
    EXPECT_EQ(dlg.Tray()->toolTip(), QStringLiteral("TwinLark is inactive"));

    static_cast<QPushButton*>(dlg.Control(1022))->click();
    EXPECT_TRUE(dlg.Server().IsRunning());
    EXPECT_EQ(TextOf(dlg.Control(1022)), QStringLiteral("Disable"));
}

TEST_F(MainDialogTest, StartsHiddenUnlessFirstRun)
{
    EXPECT_FALSE(Open().isVisible());
    dialog_.reset();
    CTwinLarkDlg& first = Open({{QStringLiteral("firstRun"), 1}});
    EXPECT_TRUE(first.isVisible());
    // The flag is read once.
    EXPECT_EQ(ReadFirstRun(), 0u);
}

TEST_F(MainDialogTest, WithoutTrayTheWindowIsShownAndCloseOnlyMinimisesIt)
{
    CTwinLarkDlg& dlg = Open({}, /*trayAvailable=*/false);
    EXPECT_FALSE(dlg.HasTray());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(LogLines().contains(QStringLiteral("no system tray: TwinLark serves without its tray icon")));

    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.isMinimized());
    dlg.showNormal();
    Type(static_cast<QLineEdit*>(dlg.Control(1000)), Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(dlg.isMinimized());
    // No balloon tells of a tray that is not there, and the agent keeps serving.
    EXPECT_TRUE(dlg.Balloons().isEmpty());
    EXPECT_FALSE(dlg.ExitStarted());
    EXPECT_TRUE(dlg.Server().IsRunning());
}

TEST_F(MainDialogTest, TrayDoubleClickTogglesTheWindow)
{
    CTwinLarkDlg& dlg = Open();
    ASSERT_FALSE(dlg.isVisible());
    dlg.OnTrayNotify(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(dlg.isVisible());
    dlg.OnTrayNotify(QSystemTrayIcon::Trigger);  // a single click changes nothing
    EXPECT_TRUE(dlg.isVisible());
    dlg.OnTrayNotify(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(dlg.Balloons().isEmpty());
}

TEST_F(MainDialogTest, CloseHidesToTheTrayWithTheStatusBalloon)
{
    CTwinLarkDlg& dlg = Open({{QStringLiteral("firstRun"), 1}});
    ASSERT_TRUE(dlg.isVisible());
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(dlg.ExitStarted());
    ASSERT_EQ(dlg.Balloons().size(), 1);
    EXPECT_EQ(dlg.Balloons().last(),
              QStringLiteral("TwinLark continues working in background mode.\nStatus: Active"));

    dlg.OnCommand(kCmdDisable);
    dlg.OnCommand(kCmdSettings);
    ASSERT_TRUE(dlg.isVisible());
    dlg.close();
    EXPECT_TRUE(dlg.Balloons().last().endsWith(QStringLiteral("Status: Inactive")));
}

TEST_F(MainDialogTest, KeysInTheWindow)
{
    // The IP list is usable in the "only from list" mode.
    CTwinLarkDlg& dlg = Open({{QStringLiteral("firstRun"), 1}, {QStringLiteral("Access mode"), 1}});
    auto* port = static_cast<QLineEdit*>(dlg.Control(1000));
    const QString portBefore = port->text();

    // Enter in the port field neither closes nor hides the window.
    Type(port, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.ExitStarted());
    EXPECT_EQ(port->text(), portBefore);

    // Letters have no effect in the IP list's editor; digits and points do.
    dlg.AddIpListEntry(QStringLiteral("10.0.0.1"));
    QListWidgetItem* item = dlg.IpList()->item(0);
    dlg.IpList()->editItem(item);
    auto* editor = dlg.IpList()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->clear();
    Type(editor, Qt::Key_A, QStringLiteral("a"));
    Type(editor, Qt::Key_V, QStringLiteral("v"), Qt::ControlModifier);
    Type(editor, Qt::Key_1, QStringLiteral("1"));
    Type(editor, Qt::Key_Period, QStringLiteral("."), Qt::KeypadModifier);
    Type(editor, Qt::Key_2, QStringLiteral("2"), Qt::KeypadModifier);
    Type(editor, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(editor->text(), QStringLiteral("1.2"));
    // Enter in the editor keeps the entry and ends the editing, not the window.
    Type(editor, Qt::Key_Return);
    ASSERT_TRUE(ProcessEventsUntil([&] { return item->text() == QStringLiteral("1.2"); }));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Server().IpList(), QStringList{QStringLiteral("1.2")});

    // Space does nothing outside the list: it does not flip the autostart box.
    auto* autostart = static_cast<QCheckBox*>(dlg.Control(1010));
    const bool autostartBefore = autostart->isChecked();
    Type(autostart, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(autostart->isChecked(), autostartBefore);

    // Escape hides the window with a balloon, and shows it again without one.
    Type(port, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Balloons().size(), 1);
    Type(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.Balloons().size(), 1);
    EXPECT_FALSE(dlg.ExitStarted());

    // F1 opens the help page.
    Type(port, Qt::Key_F1);
    ASSERT_EQ(opened_.size(), 1);
    EXPECT_EQ(opened_.last().toString(), QString::fromLatin1(kHelpPageAddress));
}

TEST_F(MainDialogTest, PortFieldStoresOnlyUsablePorts)
{
    CTwinLarkDlg& dlg = Open({{QStringLiteral("port"), 27385}});
    auto* port = static_cast<QLineEdit*>(dlg.Control(1000));
    EXPECT_EQ(port->text(), QStringLiteral("27385"));
    EXPECT_EQ(port->maxLength(), 5);
    EXPECT_EQ(static_cast<QLineEdit*>(dlg.Control(1011))->maxLength(), 16);

    port->clear();
    struct Step {
        const char* what;
        std::function<void()> act;
        const char* text;
        int stored;
    };
    const auto type = [&](const char* text) {
        return [&, text] { TypeText(port, QString::fromLatin1(text)); };
    };
    const auto clear = [&] {
        port->selectAll();
        Type(port, Qt::Key_Backspace);
    };
    // Every edit stores a usable port at once; a 0, an empty field or a number past 65535 keep
    // the port stored last, and letters never reach the field.
    const Step steps[] = {
        {"2", type("2"), "2", 2},
        {"7", type("7"), "27", 27},
        {"3", type("3"), "273", 273},
        {"cleared", clear, "", 273},
        {"zero", type("0"), "0", 273},
        {"cleared again", clear, "", 273},
        {"too big", type("70000"), "70000", 7000},
        {"letter", type("x"), "70000", 7000},
        {"shortened", [&] { Type(port, Qt::Key_Backspace); }, "7000", 7000},
        {"65535",
         [&] {
             clear();
             TypeText(port, QStringLiteral("65535"));
         },
         "65535", 65535},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(port->text(), QString::fromLatin1(step.text)) << step.what;
        EXPECT_EQ(ReadPort(), step.stored) << step.what;
    }

    TypeText(static_cast<QLineEdit*>(dlg.Control(1011)), QStringLiteral("pw"));
    EXPECT_EQ(ReadPassword(), QStringLiteral("pw"));
}

TEST_F(MainDialogTest, AccessOptionsSetControlsServerAndRegistry)
{
    CTwinLarkDlg& dlg = Open({{QStringLiteral("Access mode"), 2}});
    auto* all = static_cast<QRadioButton*>(dlg.Control(1018));
    auto* list = static_cast<QRadioButton*>(dlg.Control(1017));
    auto* ask = static_cast<QCheckBox*>(dlg.Control(1004));
    auto* notify = static_cast<QCheckBox*>(dlg.Control(1031));
    EXPECT_EQ(dlg.Server().AccessMode(), 2u);
    EXPECT_TRUE(list->isChecked());
    EXPECT_TRUE(ask->isChecked());

    struct Case {
        const char* what;
        std::function<void()> act;
        unsigned mode;
        bool allChecked, askShown, askChecked, notifyShown, listEnabled;
    };
    const Case cases[] = {
        {"allow all", [&] { all->click(); }, 0, true, false, false, true, false},
        {"only list", [&] { list->click(); }, 1, false, true, false, false, true},
        {"ask", [&] { ask->click(); }, 2, false, true, true, false, true},
        {"ask off", [&] { ask->click(); }, 1, false, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        EXPECT_EQ(dlg.Server().AccessMode(), c.mode);
        EXPECT_EQ(ReadAccessMode(), c.mode);
        EXPECT_EQ(all->isChecked(), c.allChecked);
        EXPECT_EQ(list->isChecked(), !c.allChecked);
        EXPECT_EQ(ask->isVisibleTo(&dlg), c.askShown);
        EXPECT_EQ(ask->isChecked(), c.askChecked);
        EXPECT_EQ(notify->isVisibleTo(&dlg), c.notifyShown);
        EXPECT_EQ(dlg.IpList()->isEnabled(), c.listEnabled);
    }
}

TEST_F(MainDialogTest, LogButtonAndHelpCommandOpenTheirDocuments)
{
    CTwinLarkDlg& dlg = Open();
    static_cast<QPushButton*>(dlg.Control(1021))->click();
    dlg.OnCommand(kCmdUserManual);
    ASSERT_EQ(opened_.size(), 2);
    EXPECT_EQ(opened_[0],
              QUrl::fromLocalFile(home_.Path(QStringLiteral(".local/share/TwinLark/TwinLark.log"))));
    EXPECT_EQ(opened_[1].path(),
              QStringLiteral("/user-guides/twinlark-macos/synchronization-with-windows.html"));
}

TEST_F(MainDialogTest, DocumentTheDesktopCannotOpenIsLogged)
{
    CTwinLarkDlg& dlg = Open();
    dlg.SetUrlOpener([](const QUrl&) { return false; });
    static_cast<QPushButton*>(dlg.Control(1021))->click();
    dlg.OnCommand(kCmdUserManual);
    const QStringList lines = LogLines();
    const QString logPath = home_.Path(QStringLiteral(".local/share/TwinLark/TwinLark.log"));
    EXPECT_EQ(lines.filter(QStringLiteral("cannot open %1 on the desktop").arg(logPath)).size(), 1);
    EXPECT_EQ(
        lines
            .filter(
                QStringLiteral("cannot open %1 on the desktop").arg(QString::fromLatin1(kHelpPageAddress)))
            .size(),
        1);
}

// The window tells the user that Outlook could not be opened without stopping the request
// that opened it; without a screen, in its log.
TEST_F(MainDialogTest, AnOutlookThatFailsToOpenIsToldWithoutHoldingUpTheRequest)
{
    CTwinLarkDlg& dlg = Open();
    OutlookEmulation outlook;
    outlook.SetCreateFails(QStringLiteral("Outlook.Application"));
    outlook.Register();
    COutlook* contacts = dlg.GetAgent().stores->Select(ItemKind::Contacts, 14);
    ASSERT_NE(contacts, nullptr);
    EXPECT_THROW(contacts->Connect(), SourceUnreachable);
    const QStringList lines = LogLines();
    EXPECT_TRUE(lines.contains(QStringLiteral("'CContact::Add' Init false")))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Office init Error")));
    EXPECT_TRUE(dlg.GetAgent().stores->ReleaseSessions().isEmpty());
    EXPECT_EQ(outlook.LiveObjects(), 0);
}

TEST_F(MainDialogTest, InitialisesInOrderAndExitsThroughTheExitSequence)
{
    home_.WriteFile(QStringLiteral(".local/share/TwinLark/iplist.dat"), "192.168.0.2\r\n\r\n");
    CTwinLarkDlg& dlg = Open({{QStringLiteral("trayMessage"), 1}});
    EXPECT_EQ(dlg.CurrentIpList(), (QStringList{QStringLiteral("192.168.0.2"), QString()}));
    EXPECT_TRUE(static_cast<QCheckBox*>(dlg.Control(1031))->isChecked());
    const QStringList lines = LogLines();
    const auto at = [&](const QString& prefix) {
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(prefix)) return i;
        return -1;
    };
    ASSERT_EQ(at(QStringLiteral("Init TwinLark..")), 0);
    EXPECT_EQ(lines[1], GetVersionLine());
    EXPECT_LT(at(QStringLiteral("office version")), at(QStringLiteral("ServerStart...true")));

    bool finished = false;
    QObject::connect(&dlg, &QDialog::finished, [&](int result) { finished = result == 0; });
    dlg.AddIpListEntry(QStringLiteral("10.1.1.1"));
    static_cast<QCheckBox*>(dlg.Control(1031))->setChecked(false);
    home_.WriteFile(QStringLiteral(".local/share/TwinLark/iplist.dat"), "");
    // A synchronisation in progress: a transfer file open, the busy tray icon shown.
    TransferFile& transfer = dlg.GetAgent().transfers->write;
    ASSERT_TRUE(transfer.Open(QStringLiteral("C:\\big.bin"), home_.Path(QStringLiteral("big.bin"))));
    dlg.GetAgent().host().ShowBusyIcon(true);
    const qint64 busyIcon = dlg.Tray()->icon().cacheKey();
    dlg.OnCommand(kCmdExit);
    // The exit releases what the client held, as the end of its connection does.
    EXPECT_FALSE(transfer.IsOpen());
    EXPECT_TRUE(transfer.Path().isEmpty());
    EXPECT_NE(dlg.Tray()->icon().cacheKey(), busyIcon);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(dlg.ExitStarted());
    EXPECT_FALSE(dlg.Server().IsRunning());
    EXPECT_EQ(Home(".local/share/TwinLark/iplist.dat", home_),
              QStringLiteral("192.168.0.2\r\n\r\n10.1.1.1\r\n"));
    EXPECT_FALSE(ReadTrayMessage());
    // A second exit request (the session ending meanwhile) does nothing more.
    dlg.OnEndSession();
    dialog_.reset();
    EXPECT_EQ(LogLines().filter(QStringLiteral("close programm")).size(), 1);
}

}  // namespace
