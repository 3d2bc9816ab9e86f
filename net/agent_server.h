#pragma once
#include <QObject>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "common/byte_io.h"
#include "wire/agent_host.h"

class LogFile;
class RequestSink;
class ServerUi;
class ReplyChannel;

// The listening socket, the one client connection, the access rules at accept, keep-alive,
// and the DNS-SD announcement. Everything runs on the user-interface thread.
class AgentServer : public QObject, public AgentHost {
    Q_OBJECT
public:
    // Takes the access mode and the IP list from the settings, as the window does at start, and
    // becomes the host of the requests `sink` serves. Nothing listens before ServerStart.
    AgentServer(LogFile& log, RequestSink& sink, ServerUi& ui, QObject* parent = nullptr);
    // Closes the sockets and withdraws the announcement without touching the user interface.
    ~AgentServer() override;

    // Listens on the stored port on every IPv4 address; a taken port moves to the next one
    // (stored, shown, and tried again). False when the server could not start.
    bool ServerStart();
    // Closes the listener and the connection and withdraws the announcement.
    void ServerStop();
    bool IsRunning() const;
    // The port actually listened on, 0 when stopped.
    std::uint16_t ListeningPort() const;

    // The start and stop commands of the window and the tray.
    void OnEnable();
    void OnDisable();
    void OnStartStop();
    // System sleep and wake.
    void OnSuspend();
    void OnResume();
    // Follows the system's sleep and wake (logind's PrepareForSleep on the system bus) where
    // the desktop provides them; without a bus it does nothing.
    void WatchSystemSleep();

    // The mode accept applies (0 every address, 1 the list only, 2 the list and a prompt; any
    // other stored value acts as 1) and the allowed addresses.
    void SetAccessMode(std::uint32_t mode);
    std::uint32_t AccessMode() const;
    void SetIpList(const QStringList& list);
    const QStringList& IpList() const;

    // Releases what the client held and drops its connection.
    void CloseClientConnection();

    // DNS-SD announcement of "_twinlark_win._tcp." on the listening port.
    bool BonjourStart();
    void BonjourStop();

    // AgentHost
    void SetAcceptingConnections(bool on) override;
    void AnnounceStart() override { BonjourStart(); }
    void AnnounceStop() override { BonjourStop(); }
    void ShowBusyIcon(bool busy) override;
    void RequestExit() override;
    void TellUser(const QString& text) override;
    void LoginFailed() override;
    void LoginSucceeded() override;
    void DropConnection() override;

public slots:
    // A start that failed on a taken port retries through here, once that start has returned.
    void OnRestartServer();

signals:
    // The peer asked the agent to end (after its reply went out).
    void exitRequested();
    // The IP list changed ("Allow and add").
    void ipListChanged();

private:
    void OnNewConnections();
    void OnAcceptClient(int descriptor);
    void Admit(int descriptor, const QString& statusText);
    void Refuse(int descriptor);
    void DispatchRequest(std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel);

    struct Impl;
    std::unique_ptr<Impl> d;
};
