#include "app/ui/twinlark_dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/runtime/agent_runtime.h"
#include "app/runtime/diagnostics.h"
#include "app/ui/about_dlg.h"
#include "app/ui/connection_dlg.h"
#include "app/ui/key_filter.h"
#include "app/ui/message_box.h"
#include "core/lang_strings.h"
#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "net/agent_server.h"

namespace {

const QColor kBlue(0, 76, 176);
const QColor kRunningGreen(0, 45, 0);
const QColor kStoppedRed(209, 0, 0);
constexpr int kBalloonMs = 10000;
constexpr int kBalloonMaxChars = 255;

}  // namespace

// The pictures live in a static library; naming them here keeps the linker from dropping them.
static void InitUiResources()
{
    Q_INIT_RESOURCE(twinlark);
}

CTwinLarkDlg::CTwinLarkDlg(QWidget* parent)
    : QDialog(parent),
      runtime_(std::make_unique<AgentRuntime>(
          *this, nullptr, [](const QString& text, LogFile& log) { ShowMessageBox(text, &log); })),
      trayAvailable_([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      terminate_([] { ::_exit(0); })
{
    InitUiResources();
    setObjectName(QStringLiteral("mainDialog"));
    setWindowTitle(QStringLiteral("TwinLark 2.1 by Ostrel Software"));
    setWindowIcon(QIcon(QStringLiteral(":/images/icon128.png")));
    BuildControls();
    connect(runtime_.get(), &AgentRuntime::exitRequested, this, &CTwinLarkDlg::OnExit, Qt::QueuedConnection);
    qApp->installEventFilter(this);
}

CTwinLarkDlg::~CTwinLarkDlg()
{
    qApp->removeEventFilter(this);
    DestroyWindow();
    runtime_.reset();
}

LogFile& CTwinLarkDlg::Log()
{
    return runtime_->log();
}

Agent& CTwinLarkDlg::GetAgent()
{
    return runtime_->agent();
}

AgentServer& CTwinLarkDlg::Server()
{
    return runtime_->server();
}

void CTwinLarkDlg::Register(int id, QWidget* widget)
{
    widget->setObjectName(QStringLiteral("ctl_%1").arg(id));
    controls_.insert(id, widget);
}

void CTwinLarkDlg::BuildControls()
{
    header_ = new QLabel(this);
    header_->setPixmap(QPixmap(QStringLiteral(":/images/bitmap140.png")));
    header_->setObjectName(QStringLiteral("headerPicture"));

    runningMark_ = new QLabel(this);
    runningMark_->setPixmap(QPixmap(QStringLiteral(":/images/icon143.png"))
                                .scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Register(1023, runningMark_);
    stoppedMark_ = new QLabel(this);
    stoppedMark_->setPixmap(QPixmap(QStringLiteral(":/images/icon144.png"))
                                .scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Register(1024, stoppedMark_);
    serverStatus_ = new QLabel(this);
    Register(1026, serverStatus_);
    startStop_ = new QPushButton(this);
    startStop_->setAutoDefault(false);
    Register(1022, startStop_);
    clientStatus_ = new QLabel(this);
    Register(1015, clientStatus_);
    pcNameLabel_ = new QLabel(this);
    Register(1033, pcNameLabel_);
    pcName_ = new QLabel(this);
    pcName_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Register(1025, pcName_);
    ipLabel_ = new QLabel(this);
    Register(1032, ipLabel_);
    ownIp_ = new QLabel(this);
    ownIp_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Register(1020, ownIp_);
    viewLog_ = new QPushButton(this);
    viewLog_->setAutoDefault(false);
    Register(1021, viewLog_);

    advanced_ = new QGroupBox(this);
    Register(1028, advanced_);
    accessCaption_ = new QLabel(advanced_);
    Register(1027, accessCaption_);
    allowAll_ = new QRadioButton(advanced_);
    Register(1018, allowAll_);
    onlyList_ = new QRadioButton(advanced_);
    Register(1017, onlyList_);
    askUnknown_ = new QCheckBox(advanced_);
    Register(1004, askUnknown_);
    notify_ = new QCheckBox(advanced_);
    Register(1031, notify_);
    ipListCaption_ = new QLabel(advanced_);
    ipListCaption_->setObjectName(QStringLiteral("ipListCaption"));
    ipList_ = new QListWidget(advanced_);
    ipList_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    Register(1019, ipList_);
    ipAdd_ = new QToolButton(advanced_);
    ipAdd_->setObjectName(QStringLiteral("ipListNew"));
    ipAdd_->setIcon(QIcon(QStringLiteral(":/images/list_add.png")));
    ipAdd_->setAutoRaise(true);
    ipRemove_ = new QToolButton(advanced_);
    ipRemove_->setObjectName(QStringLiteral("ipListDelete"));
    ipRemove_->setIcon(QIcon(QStringLiteral(":/images/list_remove.png")));
    ipRemove_->setAutoRaise(true);
    portLabel_ = new QLabel(advanced_);
    Register(1029, portLabel_);
    port_ = new QLineEdit(advanced_);
    port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), port_));
    port_->setFixedWidth(64);
    Register(1000, port_);
    passwordLabel_ = new QLabel(advanced_);
    Register(1030, passwordLabel_);
    password_ = new QLineEdit(advanced_);
    password_->setEchoMode(QLineEdit::Password);
    password_->setFixedWidth(120);
    Register(1011, password_);
    autostart_ = new QCheckBox(advanced_);
    Register(1010, autostart_);

    // Status block under the picture.
    auto* status = new QGridLayout;
    status->setContentsMargins(10, 6, 10, 0);
    auto* marks = new QHBoxLayout;
    marks->setSpacing(6);
    marks->addWidget(runningMark_);
    marks->addWidget(stoppedMark_);
    marks->addWidget(serverStatus_, 1);
    status->addLayout(marks, 0, 0, 1, 3);
    status->addWidget(startStop_, 0, 3);
    status->addWidget(clientStatus_, 1, 0, 1, 4);
    status->addWidget(pcNameLabel_, 2, 0, 1, 1);
    status->addWidget(pcName_, 2, 1, 1, 2);
    status->addWidget(ipLabel_, 3, 0, 1, 1);
    status->addWidget(ownIp_, 3, 1, 1, 2);
    status->addWidget(viewLog_, 3, 3);
    status->setColumnStretch(2, 1);

    // The settings group: access options on the left, the IP list on the right.
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(ipListCaption_, 1);
    listButtons->addWidget(ipAdd_);
    listButtons->addWidget(ipRemove_);
    auto* group = new QGridLayout(advanced_);
    group->addWidget(accessCaption_, 0, 0, 1, 2);
    group->addWidget(allowAll_, 1, 0, 1, 2);
    group->addWidget(onlyList_, 2, 0, 1, 2);
    // The prompt box and the notify box share one place; one of them is shown.
    group->addWidget(askUnknown_, 3, 0, 1, 2);
    group->addWidget(notify_, 3, 0, 1, 2);
    group->addLayout(listButtons, 0, 2);
    group->addWidget(ipList_, 1, 2, 4, 1);
    group->addWidget(portLabel_, 5, 0);
    group->addWidget(port_, 5, 1, Qt::AlignLeft);
    group->addWidget(passwordLabel_, 6, 0);
    group->addWidget(password_, 6, 1, Qt::AlignLeft);
    group->addWidget(autostart_, 7, 0, 1, 3);
    group->setColumnStretch(2, 1);
    ipList_->setMinimumWidth(150);
    ipList_->setMaximumHeight(110);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(header_);
    layout->addLayout(status);
    auto* groupMargin = new QHBoxLayout;
    groupMargin->setContentsMargins(10, 0, 10, 0);
    groupMargin->addWidget(advanced_);
    layout->addLayout(groupMargin);
    // The window is at least as wide as its picture; longer texts widen it, and the picture's
    // last colour fills the rest of the band.
    header_->setFixedHeight(header_->pixmap().height());
    header_->setMinimumWidth(header_->pixmap().width());
    header_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    header_->setAutoFillBackground(true);
    QPalette band = header_->palette();
    band.setColor(QPalette::Window, QColor(0x8c, 0xc8, 0xf5));
    header_->setPalette(band);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    runningMark_->hide();

    connect(startStop_, &QPushButton::clicked, this, [this] { runtime_->server().OnStartStop(); });
    connect(viewLog_, &QPushButton::clicked, this, &CTwinLarkDlg::OnViewLog);
    connect(allowAll_, &QRadioButton::clicked, this, [this] { OnAccessMode(0); });
    connect(onlyList_, &QRadioButton::clicked, this, [this] { OnAccessMode(1); });
    connect(askUnknown_, &QCheckBox::clicked, this, [this](bool checked) { OnAccessMode(checked ? 2 : 1); });
    connect(autostart_, &QCheckBox::clicked, this, &CTwinLarkDlg::OnAutostart);
    // Only the user's edits are stored; texts set by the program are not.
    connect(port_, &QLineEdit::textEdited, this, &CTwinLarkDlg::OnPortChange);
    connect(password_, &QLineEdit::textEdited, this, &CTwinLarkDlg::OnPasswordChange);
    connect(ipList_, &QListWidget::itemChanged, this, &CTwinLarkDlg::OnIpListEdited);
    connect(ipAdd_, &QToolButton::clicked, this, &CTwinLarkDlg::AddIpListRow);
    connect(ipRemove_, &QToolButton::clicked, this, &CTwinLarkDlg::RemoveIpListRow);
}

void CTwinLarkDlg::SetLabelColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QString CTwinLarkDlg::LangString(int id) const
{
    return LoadLangString(language_, id);
}

void CTwinLarkDlg::LoadTexts()
{
    startStop_->setText(LangString(106));
    serverStatus_->setText(LangString(105));
    ipListCaption_->setText(LangString(119));
    clientStatus_->setText(LangString(108));
    viewLog_->setText(LangString(112));
    portLabel_->setText(LangString(117));
    passwordLabel_->setText(LangString(118));
    autostart_->setText(LangString(116));
    askUnknown_->setText(LangString(115));
    onlyList_->setText(LangString(114));
    allowAll_->setText(LangString(113));
    accessCaption_->setText(LangString(110));
    advanced_->setTitle(LangString(111));
    notify_->setText(LangString(129));
    ipLabel_->setText(LangString(109));
    pcNameLabel_->setText(LangString(131));
    ipAdd_->setToolTip(LangString(120));
    ipRemove_->setToolTip(LangString(121));
}

void CTwinLarkDlg::ApplyFonts()
{
    bold10_ = QFont(QStringLiteral("Arial"), 10);
    bold10_.setBold(true);
    bold8_ = QFont(QStringLiteral("Arial"), 8);
    bold8_.setBold(true);
    for (QWidget* w : std::initializer_list<QWidget*>{clientStatus_, serverStatus_}) w->setFont(bold10_);
    for (QWidget* w : std::initializer_list<QWidget*>{startStop_, accessCaption_, viewLog_, pcNameLabel_,
                                                      pcName_, ipLabel_, ownIp_})
        w->setFont(bold8_);
    // The group's title is bold; its contents keep the normal font, except the access caption.
    advanced_->setFont(bold8_);
    QFont normal = QApplication::font();
    normal.setBold(false);
    for (QWidget* child : advanced_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child != accessCaption_) child->setFont(normal);
    }
    SetLabelColour(clientStatus_, kBlue);
    SetLabelColour(pcName_, kBlue);
    SetLabelColour(ownIp_, kBlue);
}

// --- ServerUi ------------------------------------------------------------------------------

void CTwinLarkDlg::SetTrayTip(const QString& text)
{
    if (tray_) tray_->setToolTip(text);
}

void CTwinLarkDlg::SetStatusText(const QString& text)
{
    clientStatus_->setText(text);
}

void CTwinLarkDlg::ShowServerState(bool running)
{
    running_ = running;
    if (trayMenu_) {
        for (QAction* action : trayMenu_->actions()) {
            const int command = action->data().toInt();
            if (command == kCmdDisable)
                action->setEnabled(running);
            else if (command == kCmdEnable)
                action->setEnabled(!running);
        }
    }
    startStop_->setText(LangString(running ? 107 : 106));
    runningMark_->setVisible(running);
    stoppedMark_->setVisible(!running);
    serverStatus_->setText(LangString(running ? 104 : 105));
    SetLabelColour(serverStatus_, running ? kRunningGreen : kStoppedRed);
}

void CTwinLarkDlg::ShowPort(int port)
{
    port_->setText(QString::number(port));
}

void CTwinLarkDlg::ShowBusyIcon(bool busy)
{
    if (tray_)
        tray_->setIcon(
            QIcon(busy ? QStringLiteral(":/images/icon128.png") : QStringLiteral(":/images/icon146.png")));
}

void CTwinLarkDlg::ShowBalloon(const QString& text, int timeoutMs)
{
    const QString shown = text.left(kBalloonMaxChars);
    balloons_.append(shown);
    // A balloon that cannot be shown now is dropped, never queued.
    if (tray_ && tray_->isVisible() && QSystemTrayIcon::supportsMessages())
        tray_->showMessage(QString(), shown, QSystemTrayIcon::NoIcon, timeoutMs);
}

bool CTwinLarkDlg::NotifyOnConnect() const
{
    return notify_->isChecked();
}

ConnectionChoice CTwinLarkDlg::PromptConnection(const QString& promptText)
{
    if (IsScreenlessPlatform()) {
        // No one can answer a prompt on a platform without a screen: the peer is refused.
        runtime_->log().WriteLogLine(promptText);
        return ConnectionChoice::Deny;
    }
    CConnectionDlg prompt(language_, promptText, this);
    return prompt.Ask();
}

void CTwinLarkDlg::AddIpListEntry(const QString& address)
{
    if (!CurrentIpList().contains(address)) {
        const QSignalBlocker block(ipList_);
        auto* item = new QListWidgetItem(address, ipList_);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    // The server may be in the middle of its accept; it learns the list once that is done.
    QTimer::singleShot(0, this, [this] { runtime_->server().SetIpList(CurrentIpList()); });
}

// --- IP list ---------------------------------------------------------------------------------

QStringList CTwinLarkDlg::CurrentIpList() const
{
    QStringList entries;
    for (int i = 0; i < ipList_->count(); ++i) entries.append(ipList_->item(i)->text());
    return entries;
}

void CTwinLarkDlg::OnIpListEdited()
{
    runtime_->server().SetIpList(CurrentIpList());
}

void CTwinLarkDlg::AddIpListRow()
{
    auto* item = new QListWidgetItem(QString(), ipList_);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    ipList_->setCurrentItem(item);
    ipList_->editItem(item);
    runtime_->server().SetIpList(CurrentIpList());
}

void CTwinLarkDlg::RemoveIpListRow()
{
    delete ipList_->currentItem();
    runtime_->server().SetIpList(CurrentIpList());
}

// --- Settings controls -------------------------------------------------------------------------

void CTwinLarkDlg::ApplyAccessControls(std::uint32_t mode, bool keepPromptBox)
{
    if (mode > 2) return;
    allowAll_->setChecked(mode == 0);
    onlyList_->setChecked(mode != 0);
    askUnknown_->setVisible(mode != 0);
    notify_->setVisible(mode == 0);
    if (!(mode == 2 && keepPromptBox)) askUnknown_->setChecked(mode == 2);
    for (QWidget* w : std::initializer_list<QWidget*>{ipList_, ipAdd_, ipRemove_}) w->setEnabled(mode != 0);
}

void CTwinLarkDlg::OnAccessMode(std::uint32_t mode)
{
    runtime_->server().SetAccessMode(mode);
    WriteAccessMode(mode);
    ApplyAccessControls(mode, true);
}

void CTwinLarkDlg::OnPortChange(const QString& text)
{
    // Only a usable port is stored; anything else (empty, 0, past 65535) keeps the stored one.
    bool ok = false;
    const int port = text.toInt(&ok);
    if (ok && port >= 1 && port <= 65535) WritePort(port);
}

void CTwinLarkDlg::OnPasswordChange(const QString& text)
{
    WritePassword(text);
}

void CTwinLarkDlg::OnAutostart(bool checked)
{
    SetAutostart(checked);
}

void CTwinLarkDlg::LoadSettingsIntoControls()
{
    CreateSettingsKey();
    autostart_->setChecked(ReadAutostart());
    password_->setText(ReadPassword());
    const QString portText = PortText();
    if (!portText.isEmpty()) port_->setText(portText);
    {
        const QSignalBlocker block(ipList_);
        ipList_->clear();
        for (const QString& entry : LoadIpList()) {
            auto* item = new QListWidgetItem(entry, ipList_);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
    }
    runtime_->server().SetIpList(CurrentIpList());
    const std::uint32_t mode = ReadAccessMode();
    ApplyAccessControls(mode, false);
    runtime_->server().SetAccessMode(mode);
    notify_->setChecked(ReadTrayMessage());
}

// --- Tray icon ---------------------------------------------------------------------------------

void CTwinLarkDlg::BuildTrayMenu()
{
    if (!trayMenu_) trayMenu_ = new QMenu(this);
    trayMenu_->clear();
    trayMenu_->setObjectName(QStringLiteral("trayMenu%1").arg(TrayMenuResourceId(language_)));
    for (const TrayMenuCommand& entry : LoadTrayMenu(language_)) {
        QAction* action = trayMenu_->addAction(entry.text);
        action->setData(entry.command);
        const int command = entry.command;
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    }
}

void CTwinLarkDlg::AddTrayIcon()
{
    BuildTrayMenu();
    if (!tray_) {
        tray_ = new QSystemTrayIcon(QIcon(QStringLiteral(":/images/icon146.png")), this);
        connect(tray_, &QSystemTrayIcon::activated, this, &CTwinLarkDlg::OnTrayNotify);
    }
    tray_->setToolTip(QStringLiteral("TwinLark"));
    tray_->setContextMenu(trayMenu_);
    tray_->show();
    hasTray_ = trayAvailable_();
    if (!hasTray_ && !trayAbsenceLogged_) {
        trayAbsenceLogged_ = true;
        runtime_->log().WriteLogLine(QStringLiteral("no system tray: TwinLark serves without its tray icon"));
    }
}

void CTwinLarkDlg::RemoveTrayIcon()
{
    if (tray_) tray_->hide();
}

void CTwinLarkDlg::OnTrayNotify(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick) return;  // the context menu opens by itself on a right click
    OnSettings();
}

// --- Visibility --------------------------------------------------------------------------------

void CTwinLarkDlg::ApplyVisibility()
{
    setVisible(visible_);
}

void CTwinLarkDlg::OnSettings()
{
    visible_ = !visible_;
    ApplyVisibility();
    if (visible_) {
        raise();
        activateWindow();
    }
}

void CTwinLarkDlg::OnCloseWindow()
{
    if (!hasTray_) {
        // Hidden, the window could never be brought back: it only goes out of the way.
        showMinimized();
        return;
    }
    visible_ = !visible_;
    ApplyVisibility();
    ShowBalloon(LangString(running_ ? 134 : 135), kBalloonMs);
}

void CTwinLarkDlg::ToggleByEscape()
{
    if (!hasTray_) {
        showMinimized();
        return;
    }
    visible_ = !visible_;
    ApplyVisibility();
    if (!visible_) ShowBalloon(LangString(running_ ? 134 : 135), kBalloonMs);
}

void CTwinLarkDlg::closeEvent(QCloseEvent* event)
{
    // The window is never closed by the user, only hidden to the tray.
    event->ignore();
    if (!exiting_) OnCloseWindow();
}

void CTwinLarkDlg::reject()
{
    if (!exiting_) ToggleByEscape();
}

bool CTwinLarkDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this) return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    KeyFocus focus = KeyFocus::Elsewhere;
    if (widget == ipList_)
        focus = KeyFocus::IpList;
    else if (ipList_->viewport()->isAncestorOf(widget))
        focus = KeyFocus::IpListEditor;
    switch (FilterKey(focus, key->key(), key->modifiers())) {
        case KeyVerdict::Pass:
        case KeyVerdict::EndEditing:  // the editor ends itself and gives the focus back to the list
            return false;
        case KeyVerdict::Swallow:
            return true;
        case KeyVerdict::ToggleWindow:
            ToggleByEscape();
            return true;
        case KeyVerdict::OpenHelp:
            OnUserManual();
            return true;
    }
    return false;
}

// --- Commands ----------------------------------------------------------------------------------

void CTwinLarkDlg::OnCommand(int command)
{
    switch (command) {
        case kCmdEnable:
            runtime_->server().OnEnable();
            break;
        case kCmdDisable:
            runtime_->server().OnDisable();
            break;
        case kCmdSettings:
            OnSettings();
            break;
        case kCmdAbout:
            OnAbout();
            break;
        case kCmdExit:
            OnExit();
            break;
        case kCmdUserManual:
            OnUserManual();
            break;
        case kCmdCheckForUpdates:
            OnCheckForUpdates();
            break;
        default:
            break;
    }
}

void CTwinLarkDlg::OnAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CTwinLarkDlg::OpenOnDesktop(const QUrl& url)
{
    if (openUrl_(url)) return;
    const QString shown = url.toDisplayString(QUrl::PreferLocalFile);
    runtime_->log().WriteLogLine(QStringLiteral("cannot open %1 on the desktop").arg(shown));
    qCWarning(lcApp) << "desktop opener refused" << shown;
}

void CTwinLarkDlg::OnUserManual()
{
    OpenOnDesktop(QUrl(QString::fromLatin1(kHelpPageAddress)));
}

void CTwinLarkDlg::OnViewLog()
{
    OpenOnDesktop(QUrl::fromLocalFile(runtime_->log().GetLogPath()));
}
