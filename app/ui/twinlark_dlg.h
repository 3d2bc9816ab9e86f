#pragma once
#include <QDialog>
#include <QFont>
#include <QHash>
#include <QStringList>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/server_ui.h"

class Agent;
class AgentRuntime;
class AgentServer;
class LogFile;
class NorvaneLibrary;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolButton;
class QGroupBox;

// Addresses of the maker's pages: the updater's settings file and the user guide.
inline constexpr char kUpdaterSettingsAddress[] =
    "https://update.ostrel-software.com/download/twinlark-update-win/settings_ver3.xml";
inline constexpr char kHelpPageAddress[] =
    "https://help.ostrel-software.com/user-guides/twinlark-macos/synchronization-with-windows.html";

// The agent's main window. It normally stays hidden behind its tray icon; closing it only hides
// it. Without a tray it stays on screen (closing minimises it), or the user could not reach it.
// It owns the agent's runtime (log, state, dispatcher, server) and shows the server to the user
// (ServerUi).
class CTwinLarkDlg : public QDialog, public ServerUi {
    Q_OBJECT
public:
    explicit CTwinLarkDlg(QWidget* parent = nullptr);
    ~CTwinLarkDlg() override;

    // The updater library, when it was loaded (owned by the application object).
    void SetUpdater(NorvaneLibrary* updater) { updater_ = updater; }

    // Initialises everything in its order and starts the server; shows the window only on the
    // first run after installation, or when there is no tray to bring it back from.
    bool OnInitDialog();
    // Initialises, runs the event loop until the exit sequence ends it, then tears down.
    int RunModal();
    // The exit sequence of the tray command, AS_QUIT, the updater and the session's end.
    void OnExit();
    // What the window's end releases; runs once, from RunModal or the destructor.
    void DestroyWindow();

    // Commands of the tray menu and the window's buttons.
    void OnCommand(int command);
    void OnTrayNotify(QSystemTrayIcon::ActivationReason reason);
    void OnSettings();
    void OnAbout();
    void OnUserManual();
    void OnViewLog();
    void OnCheckForUpdates();
    void OnUpdaterClose() { OnExit(); }
    void OnEndSession() { OnExit(); }
    // Close box and Escape: hide to the tray (or show again).
    void OnCloseWindow();

    // Access option chosen by the user (0, 1, 2).
    void OnAccessMode(std::uint32_t mode);

    // ServerUi
    QString LangString(int id) const override;
    void SetTrayTip(const QString& text) override;
    void SetStatusText(const QString& text) override;
    void ShowServerState(bool running) override;
    void ShowPort(int port) override;
    void ShowBusyIcon(bool busy) override;
    void ShowBalloon(const QString& text, int timeoutMs) override;
    bool NotifyOnConnect() const override;
    ConnectionChoice PromptConnection(const QString& promptText) override;
    void AddIpListEntry(const QString& address) override;

    // For tests and the application object.
    QWidget* Control(int id) const { return controls_.value(id); }
    QMenu* TrayMenu() const { return trayMenu_; }
    QSystemTrayIcon* Tray() const { return tray_; }
    QListWidget* IpList() const { return ipList_; }
    QStringList CurrentIpList() const;
    std::uint32_t Language() const { return language_; }
    bool VisibleFlag() const { return visible_; }
    bool ExitStarted() const { return exiting_; }
    LogFile& Log();
    Agent& GetAgent();
    AgentServer& Server();
    // Every balloon asked for, in order (also when no tray can show it).
    const QStringList& Balloons() const { return balloons_; }
    // How documents and pages are opened (the desktop's handler by default); false: not opened.
    void SetUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }
    // Whether the desktop has a tray to hold the icon (asked of Qt by default).
    void SetTrayAvailability(std::function<bool()> available) { trayAvailable_ = std::move(available); }
    // False when the desktop had no tray: the window then stays on screen and is only minimised.
    bool HasTray() const { return hasTray_; }
    // How the process ends when the updater demands it at start-up (at once, nothing saved).
    void SetProcessTerminator(std::function<void()> terminate) { terminate_ = std::move(terminate); }

    // The handlers the updater library calls back (context: the dialog or none).
    static int UpdaterCloseApplication(void* context);
    static int UpdaterNoUpdatesAvailable(void* context);
    static int UpdaterError(int errorCode, void* context);
    // The message the updater's error callback shows for a code.
    static QString UpdateErrorText(std::uint32_t language, int errorCode);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Hands the document or page to the opener; a refusal is written to the agent's log and to
    // the app's diagnostics, since the user sees nothing happen.
    void OpenOnDesktop(const QUrl& url);
    void BuildControls();
    void LoadTexts();
    void ApplyFonts();
    void SetLabelColour(QLabel* label, const QColor& colour);
    void AddTrayIcon();
    void RemoveTrayIcon();
    void BuildTrayMenu();
    void ApplyVisibility();
    void ToggleByEscape();
    void ApplyAccessControls(std::uint32_t mode, bool keepPromptBox);
    void LoadSettingsIntoControls();
    void OnPortChange(const QString& text);
    void OnPasswordChange(const QString& text);
    void OnAutostart(bool checked);
    void OnIpListEdited();
    void AddIpListRow();
    void RemoveIpListRow();
    void RegisterUpdater();
    // Opens an updater session with its settings file and, unless the updater ends the agent or
    // skips the set-up (the result says which), describes the product to it.
    int BeginUpdaterSession();
    void CloseOpenPrompts();
    void Register(int id, QWidget* widget);

    // The log, the agent's state, the dispatcher and the server, with their start and exit.
    std::unique_ptr<AgentRuntime> runtime_;

    NorvaneLibrary* updater_ = nullptr;
    std::uint32_t language_ = 1033;
    bool visible_ = false;
    bool running_ = false;
    bool exiting_ = false;
    bool destroyed_ = false;
    bool trayAbsenceLogged_ = false;
    bool hasTray_ = true;
    std::function<bool()> trayAvailable_;
    QStringList balloons_;
    std::function<bool(const QUrl&)> openUrl_;
    std::function<void()> terminate_;

    QHash<int, QWidget*> controls_;
    QFont bold10_;
    QFont bold8_;
    QLabel* header_ = nullptr;
    QLabel* clientStatus_ = nullptr;    // 1015
    QLabel* serverStatus_ = nullptr;    // 1026
    QLabel* runningMark_ = nullptr;     // 1023
    QLabel* stoppedMark_ = nullptr;     // 1024
    QPushButton* startStop_ = nullptr;  // 1022
    QLabel* accessCaption_ = nullptr;   // 1027
    QRadioButton* allowAll_ = nullptr;  // 1018
    QRadioButton* onlyList_ = nullptr;  // 1017
    QCheckBox* askUnknown_ = nullptr;   // 1004
    QCheckBox* notify_ = nullptr;       // 1031
    QLabel* ipListCaption_ = nullptr;
    QListWidget* ipList_ = nullptr;  // 1019
    QToolButton* ipAdd_ = nullptr;
    QToolButton* ipRemove_ = nullptr;
    QGroupBox* advanced_ = nullptr;    // 1028
    QLabel* portLabel_ = nullptr;      // 1029
    QLineEdit* port_ = nullptr;        // 1000
    QLabel* passwordLabel_ = nullptr;  // 1030
    QLineEdit* password_ = nullptr;    // 1011
    QCheckBox* autostart_ = nullptr;   // 1010
    QPushButton* viewLog_ = nullptr;   // 1021
    QLabel* pcNameLabel_ = nullptr;    // 1033
    QLabel* pcName_ = nullptr;         // 1025
    QLabel* ipLabel_ = nullptr;        // 1032
    QLabel* ownIp_ = nullptr;          // 1020

    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
};
