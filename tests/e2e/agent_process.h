#pragma once
// The built agent (TWINLARK_AGENT_BINARY) as a child process in a throw-away home, for
// end-to-end tests that talk to it over loopback with a TestPeer (test_peer.h).
//
//   AgentProcess agent;                              // temporary home, a free port planted
//   agent.SetDword("Access mode", 1);                // settings, before Start
//   agent.WriteIpList({"127.0.0.2"});
//   ASSERT_TRUE(agent.Start());                      // returns once the agent listens
//   TestPeer peer("127.0.0.2");
//   ASSERT_TRUE(peer.Connect(agent.Port()));
//   ...
//   peer.Send(AS_QUIT, 1);
//   EXPECT_EQ(agent.WaitForExit(), 0);
//   EXPECT_TRUE(agent.Log().contains("ServerStop"));
//
// The child's environment is the test's own with these replaced, so nothing outside the
// temporary folder is read or written:
//
//   HOME            <home>                XDG_CONFIG_HOME <home>/.config
//   XDG_DATA_HOME   <home>/.local/share   XDG_CACHE_HOME  <home>/.cache
//   XDG_RUNTIME_DIR <home>/runtime (0700) TMPDIR          <home>/tmp
//   QT_QPA_PLATFORM offscreen             TWINLARK_DNSSD_LIBRARY  the tests' recording fake
//
// (DISPLAY and WAYLAND_DISPLAY are removed.) SetEnv/UnsetEnv change the child's environment
// further, for example FAKE_DNSSD_LOG to record the announcement or another DNS-SD library.
// The agent's own files are then in DataDir() (<home>/.local/share/TwinLark); its standard
// output and error go to <home>/agent-stdout.txt and <home>/agent-stderr.txt.
//
// Settings are planted in the emulated registry file
// <home>/.config/TwinLark/registry/HKEY_CURRENT_USER.reg under the agent's settings key; the
// "port" value is always planted (a port free when the harness was made, so parallel tests do
// not meet), unless the test overrides it.
//
// Waits poll their condition with a time limit; the limits are generous because the agent may
// be built with sanitizers. The destructor ends a running agent (SIGTERM, then SIGKILL).

#include <sys/types.h>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <optional>
#include <string>

class AgentProcess {
public:
    static constexpr int kDefaultTimeoutMs = 20000;

    AgentProcess();
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // --- before Start ---------------------------------------------------------------------
    // A value under HKCU\SOFTWARE\Ostrel Software\TwinLark2 (written at once).
    void SetDword(const QString& name, std::uint32_t value);
    void SetString(const QString& name, const QString& value);
    // The port the agent is told to use (the planted "port").
    void SetPort(std::uint16_t port);
    // "<data folder>/iplist.dat", one entry per line ended by CR LF.
    void WriteIpList(const QStringList& entries);
    // Any file below the home folder.
    void WriteFile(const QString& relative, const QByteArray& bytes);
    void SetEnv(const QByteArray& name, const QByteArray& value);
    void UnsetEnv(const QByteArray& name);
    // Runs the agent over the emulated Outlook (TWINLARK_OUTLOOK_EMULATED_BINARY) seeded with
    // this JSON (empty: the emulation's defaults); the emulation's state is written to
    // OutlookStatePath(). See tests/outlook_emulated/main.cpp.
    void UseEmulatedOutlook(const QByteArray& seed = {});
    QString OutlookStatePath() const;
    // The emulation's state as last written (empty before the first write).
    QByteArray OutlookState() const;

    // --- running ------------------------------------------------------------------------------
    // Starts the agent and waits until it listens on Port(). False when it exited or did not
    // listen in time (Stderr() and Log() tell why).
    bool Start(int timeoutMs = kDefaultTimeoutMs);
    // Starts without waiting for the listener.
    bool Launch();
    // Whether the agent listens on `port` (its own socket, not another program's).
    bool WaitUntilListening(std::uint16_t port, int timeoutMs = kDefaultTimeoutMs);
    bool IsRunning();
    // Sends a signal (for example SIGTERM) to the agent.
    void Signal(int signal);
    // The exit code, or nullopt when the agent did not end in time (or died by a signal,
    // reported as 128 + signal).
    std::optional<int> WaitForExit(int timeoutMs = kDefaultTimeoutMs);
    // Polls the log until it contains `text`.
    bool WaitForLog(const QString& text, int timeoutMs = kDefaultTimeoutMs) const;

    // --- files ---------------------------------------------------------------------------------
    std::uint16_t Port() const { return port_; }
    QString Home() const { return home_.path(); }
    QString Path(const QString& relative) const;
    // "<home>/.local/share/TwinLark"
    QString DataDir() const;
    QByteArray ReadFile(const QString& relative) const;
    // "TwinLark.log", "logSocket.log", standard error.
    QString Log() const;
    QByteArray SocketLog() const;
    QString Stderr() const;
    // A value of the agent's settings key as the registry file holds it now.
    std::optional<std::uint32_t> ReadDword(const QString& name) const;

private:
    void WriteRegistry(const QString& name, std::uint32_t type, const QByteArray& data);

    QTemporaryDir home_;
    std::uint16_t port_ = 0;
    QMap<QByteArray, std::optional<QByteArray>> envChanges_;
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
    std::string binary_ = TWINLARK_AGENT_BINARY;
};

// A TCP port nobody listens on right now (IPv4, any address).
std::uint16_t FindFreePort();
