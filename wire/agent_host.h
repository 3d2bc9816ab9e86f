#pragma once
#include <QString>

// What request handlers ask of the server and the user interface around them. The server
// implements it; tests replace it.
class AgentHost {
public:
    virtual ~AgentHost() = default;
    // Turns the listener's accept notifications off (synchronisation, delete-all) or on again.
    virtual void SetAcceptingConnections(bool on) = 0;
    // Registers the DNS-SD announcement (no effect while one is active) or withdraws it.
    virtual void AnnounceStart() = 0;
    virtual void AnnounceStop() = 0;
    // The tray's busy icon during a synchronisation, the idle icon otherwise.
    virtual void ShowBusyIcon(bool busy) = 0;
    // Ends the agent once the current reply has reached the peer.
    virtual void RequestExit() = 0;
    // Ends the current peer's connection: a file transfer reply could not be sent, so the
    // stream is broken. The server goes on listening, so a peer that resets its connection
    // mid-reply cannot switch the agent off. Hosts without a server ignore it.
    virtual void DropConnection() {}
    // Tells the user of a problem that needs them (in the window and the tray), without waiting
    // for an answer. Hosts without a window ignore it; the log has the line anyway.
    virtual void TellUser(const QString& text) {}
    // The current peer's login failed or succeeded: the server, which knows the peer's address,
    // logs failures and keeps a guessing peer out.
    virtual void LoginFailed() {}
    virtual void LoginSucceeded() {}
};

// Keeps new peers out while it lives: accepting is paused when it is made and resumed when it
// ends, also when a failure leaves the scope, unless it was resumed earlier or told to keep the
// pause for whoever ends it (the synchronisation's end, the client's close).
class AcceptPause {
public:
    explicit AcceptPause(AgentHost& host) : host_(host) { host_.SetAcceptingConnections(false); }
    ~AcceptPause() { Resume(); }
    AcceptPause(const AcceptPause&) = delete;
    AcceptPause& operator=(const AcceptPause&) = delete;

    // Accepts again now.
    void Resume()
    {
        if (paused_) host_.SetAcceptingConnections(true);
        paused_ = false;
    }
    // Leaves accepting paused when the guard ends.
    void KeepPaused() { paused_ = false; }

private:
    AgentHost& host_;
    bool paused_ = true;
};
