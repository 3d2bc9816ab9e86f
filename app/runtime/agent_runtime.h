#pragma once
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class Agent;
class AgentServer;
class Dispatcher;
class LogFile;
class ServerUi;

// The running agent without its face: the log, the agent's state, the dispatcher and the server,
// built and torn down in their order, with the start and exit sequences that the main window and
// the window-less runner share. The face (`ui`) shows the server and must outlive the runtime.
class AgentRuntime : public QObject {
    Q_OBJECT
public:
    // `showMessage` tells the user something without waiting (the window's message box, which
    // gets the log for a screenless platform); without it such messages go to the log.
    explicit AgentRuntime(ServerUi& ui, QObject* parent = nullptr,
                          std::function<void(const QString& text, LogFile& log)> showMessage = {});
    // The server goes before the agent it serves; the log closes last with its final line.
    ~AgentRuntime() override;

    // The start lines of the log and the data sources' detection (logged as "office version").
    void WriteStartLines();
    // Starts the server on the stored port and follows the system's sleep; false when the server
    // could not start (the face has been told either way).
    bool StartServer();
    // The shared part of the exit sequence: what a client held is released as at the end of a
    // connection (so an exit in the middle of a synchronisation loses nothing), the IP list and the
    // browser are stored, the server stops.
    void RunExitSequence(const QStringList& ipList);
    // The window's close releases the stores as every other occasion does (Agent::ReleaseStores).
    void ReleaseStoresAtClose();

    LogFile& log() { return *log_; }
    Agent& agent() { return *agent_; }
    Dispatcher& dispatcher() { return *dispatcher_; }
    AgentServer& server() { return *server_; }

signals:
    // The peer asked the agent to end (AS_QUIT), once its reply went out.
    void exitRequested();

private:
    std::unique_ptr<LogFile> log_;
    std::unique_ptr<Agent> agent_;
    std::unique_ptr<Dispatcher> dispatcher_;
    std::unique_ptr<AgentServer> server_;
};
