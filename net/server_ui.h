#pragma once
#include <QString>
#include <cstdint>

// The answer of the connection prompt.
enum class ConnectionChoice { Allow = 0, Deny = 1, AllowAndAdd = 2 };

// What the server shows of itself in the main window and the tray. The dialog implements it;
// tests and a window-less agent use their own.
class ServerUi {
public:
    virtual ~ServerUi() = default;
    // A text of the interface language's string table (for example 104 "Ready to connect").
    virtual QString LangString(int id) const = 0;
    virtual void SetTrayTip(const QString& text) = 0;
    // The connection status label ("Connected IP ...", "Client not connected").
    virtual void SetStatusText(const QString& text) = 0;
    // The controls of a running (true) or stopped server: menu commands, start/stop button,
    // active/inactive icons, the ready/unavailable line.
    virtual void ShowServerState(bool running) = 0;
    // The port field after the server moved to the next port.
    virtual void ShowPort(int port) = 0;
    virtual void ShowBusyIcon(bool busy) = 0;
    // A tray balloon without title, for `timeoutMs`.
    virtual void ShowBalloon(const QString& text, int timeoutMs) = 0;
    // Whether the user asked to be told of every new connection.
    virtual bool NotifyOnConnect() const = 0;
    // Asks the user about a peer address that is not in the list. Modal: the event loop keeps
    // running meanwhile. A prompt closed without a button answers Deny.
    virtual ConnectionChoice PromptConnection(const QString& promptText) = 0;
    // A new entry of the allowed-address list ("Allow and add").
    virtual void AddIpListEntry(const QString& address) = 0;
};
