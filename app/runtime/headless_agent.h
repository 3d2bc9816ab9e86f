#pragma once
#include <QObject>
#include <memory>

class AgentServer;
class LogFile;

// The agent without a window: the agent's runtime with a face that answers from the fallback
// language's string table and writes balloons and prompts to the log (a prompt is answered
// "Deny"). It serves exactly as the windowed agent does and ends on AS_QUIT or on SIGTERM, SIGINT
// or SIGHUP with an orderly exit (exit code 0); the previous signal handlers return with it.
class HeadlessAgent : public QObject {
    Q_OBJECT
public:
    explicit HeadlessAgent(QObject* parent = nullptr);
    ~HeadlessAgent() override;

    // Writes the start lines and starts the server.
    void Start();
    // The runtime's exit sequence, then the event loop ends with `exitCode`.
    void Exit(int exitCode = 0);

    AgentServer& server();
    LogFile& log();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
