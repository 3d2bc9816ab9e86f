#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

class LogFile;

// The DNS service discovery announcement of the listening port, through the DNS-SD client
// library (Avahi's compatibility library on Linux) loaded at run time: a missing library or
// daemon only costs the announcement. While the library is loaded a registration counts as
// active, even when the library refused it; only Stop unloads it.
class DnssdAnnouncer {
public:
    // The library's default name; the environment variable kLibraryVariable overrides it (tests
    // load a recording fake through it).
    static constexpr const char* kDefaultLibrary = "libdns_sd.so.1";
    static constexpr const char* kLibraryVariable = "TWINLARK_DNSSD_LIBRARY";
    static constexpr const char* kServiceType = "_twinlark_win._tcp.";

    explicit DnssdAnnouncer(LogFile& log);
    ~DnssdAnnouncer();
    DnssdAnnouncer(const DnssdAnnouncer&) = delete;
    DnssdAnnouncer& operator=(const DnssdAnnouncer&) = delete;

    // Registers "<computer>(<user>)" on `port` (host byte order) unless a registration is active.
    // False only when the library cannot be loaded.
    bool Start(std::uint16_t port);
    // Withdraws the registration and unloads the library; nothing when none is active.
    void Stop();
    bool IsActive() const { return library_ != nullptr; }

    // The instance name, UTF-8: computer name, "(", user name, ")".
    static QByteArray InstanceName();

private:
    LogFile& log_;
    void* library_ = nullptr;
    void* serviceRef_ = nullptr;
};
