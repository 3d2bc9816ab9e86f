// The main window's start, its exit sequence and its end; the updater glue.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <cstring>

#include "app/runtime/norvane_library.h"
#include "app/runtime/own_ip_address.h"
#include "app/runtime/agent_runtime.h"
#include "app/ui/message_box.h"
#include "app/ui/twinlark_dlg.h"
#include "core/lang_strings.h"
#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "net/agent_server.h"
#include "platform/system_info.h"

namespace {

// The window the updater's context-free callbacks talk to.
QPointer<CTwinLarkDlg> gDialog;

constexpr int kMaxPortChars = 5;
constexpr int kMaxPasswordChars = 16;

}  // namespace

int CTwinLarkDlg::BeginUpdaterSession()
{
    const int init = updater_->Init(QString(), QString::fromLatin1(kUpdaterSettingsAddress));
    if (init == kNorvaneInitEndAgent || init == kNorvaneInitSkipSetup) return init;
    updater_->SetProductName(QStringLiteral("TwinLark"));
    updater_->SetLanguage(QString::number(ReadLangId()));
    updater_->SetSendStats(false);
    return init;
}

void CTwinLarkDlg::RegisterUpdater()
{
    if (!updater_) return;
    updater_->SetOnCloseApplication(&CTwinLarkDlg::UpdaterCloseApplication, this);
    const int init = BeginUpdaterSession();
    if (init == kNorvaneInitEndAgent) {
        terminate_();  // the updater replaces the program now; nothing is saved
        return;
    }
    if (init == kNorvaneInitSkipSetup) return;
    updater_->SetWhenCheckForUpdate(1);
    updater_->SetVisibleButtons(15);
    updater_->Check();
}

bool CTwinLarkDlg::OnInitDialog()
{
    gDialog = this;
    RegisterUpdater();

    language_ = ReadLangId();

    port_->setMaxLength(kMaxPortChars);
    password_->setMaxLength(kMaxPasswordChars);
    port_->setToolTip(LangString(127));
    password_->setToolTip(LangString(128));

    visible_ = ReadFirstRun() != 0;

    LoadTexts();

    runtime_->WriteStartLines();

    AddTrayIcon();
    // Without a tray there is no icon to bring the window back: it is shown from the start.
    if (!HasTray()) visible_ = true;

    runtime_->StartServer();

    pcName_->setText(ComputerName());
    ownIp_->setText(GetOwnIpAddress(runtime_->log()));

    ipListCaption_->setText(LangString(119));

    LoadSettingsIntoControls();

    ApplyFonts();

    ApplyVisibility();
    return true;
}

int CTwinLarkDlg::RunModal()
{
    OnInitDialog();
    // The exit sequence ends the loop through done(0).
    connect(this, &QDialog::finished, qApp, [](int result) { QCoreApplication::exit(result); });
    const int result = QCoreApplication::instance() ? QCoreApplication::exec() : 0;
    DestroyWindow();
    return result;
}

void CTwinLarkDlg::CloseOpenPrompts()
{
    // A prompt or box waiting for the user must not hold up the exit.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != this && dialog->isVisible()) dialog->reject();
    }
}

void CTwinLarkDlg::OnExit()
{
    if (exiting_) return;
    exiting_ = true;
    if (updater_) updater_->Close();
    WriteTrayMessage(notify_->isChecked());
    runtime_->RunExitSequence(CurrentIpList());
    CloseOpenPrompts();
    done(0);
}

void CTwinLarkDlg::DestroyWindow()
{
    if (destroyed_) return;
    destroyed_ = true;
    runtime_->server().BonjourStop();
    runtime_->ReleaseStoresAtClose();
    SaveIpList(CurrentIpList());
    WriteTrayMessage(notify_->isChecked());
    RemoveTrayIcon();
    runtime_->agent().fragments.Clear();
    if (gDialog == this) gDialog = nullptr;
}

void CTwinLarkDlg::OnCheckForUpdates()
{
    if (!updater_) return;
    updater_->Close();
    updater_->SetOnNoUpdatesAvailable(&CTwinLarkDlg::UpdaterNoUpdatesAvailable, nullptr);
    updater_->SetOnCloseApplication(&CTwinLarkDlg::UpdaterCloseApplication, this);
    updater_->SetOnError(&CTwinLarkDlg::UpdaterError, nullptr);
    updater_->SetParentWnd(static_cast<std::uintptr_t>(winId()));
    const int init = BeginUpdaterSession();
    if (init == kNorvaneInitEndAgent) {
        OnExit();
        return;
    }
    if (init == kNorvaneInitSkipSetup) return;
    updater_->SetVisibleButtons(15);
    updater_->SetWhenCheckForUpdate(1);
    updater_->CheckManual();
}

// The updater may call back from a thread of its own: everything is handed to the UI thread.

int CTwinLarkDlg::UpdaterCloseApplication(void* context)
{
    QPointer<CTwinLarkDlg> dialog = static_cast<CTwinLarkDlg*>(context);
    if (dialog)
        QMetaObject::invokeMethod(
            dialog,
            [dialog] {
                if (dialog) dialog->OnUpdaterClose();
            },
            Qt::QueuedConnection);
    return 0;
}

int CTwinLarkDlg::UpdaterNoUpdatesAvailable(void*)
{
    const QString text = LoadLangString(ReadLangId(), 137);
    QMetaObject::invokeMethod(
        qApp, [text] { ShowMessageBox(text, gDialog ? &gDialog->Log() : nullptr); }, Qt::QueuedConnection);
    return 0;
}

QString CTwinLarkDlg::UpdateErrorText(std::uint32_t language, int errorCode)
{
    const bool webStatus = errorCode >= 400 && errorCode <= 599;
    const bool internetClient = errorCode >= 12001 && errorCode <= 12157;
    if (webStatus || internetClient)
        return LoadLangString(language, 136) + QStringLiteral(" - %1").arg(errorCode);
    return QStringLiteral(" - %1 ").arg(errorCode) + QString::fromLocal8Bit(std::strerror(errorCode));
}

int CTwinLarkDlg::UpdaterError(int errorCode, void*)
{
    const QString text = UpdateErrorText(ReadLangId(), errorCode);
    QMetaObject::invokeMethod(
        qApp, [text] { ShowMessageBox(text, gDialog ? &gDialog->Log() : nullptr); }, Qt::QueuedConnection);
    return 0;
}
