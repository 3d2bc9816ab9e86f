#include "net/dnssd_announcer.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <stdlib.h>

#include "core/log_file.h"
#include "platform/system_info.h"

namespace {

// The two entry points of the DNS-SD client interface that the announcement uses, declared
// here so that the library is only needed at run time.
using ServiceRef = void*;
using RegisterReply = void (*)(ServiceRef, std::uint32_t flags, std::int32_t error, const char* name,
                               const char* regtype, const char* domain, void* context);
using RegisterFn = std::int32_t (*)(ServiceRef* ref, std::uint32_t flags, std::uint32_t interfaceIndex,
                                    const char* name, const char* regtype, const char* domain,
                                    const char* host, std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                    const void* txtRecord, RegisterReply callback, void* context);
using DeallocateFn = void (*)(ServiceRef ref);

QByteArray LibraryName()
{
    const QByteArray overridden = qgetenv(DnssdAnnouncer::kLibraryVariable);
    return overridden.isEmpty() ? QByteArray(DnssdAnnouncer::kDefaultLibrary) : overridden;
}

}  // namespace

DnssdAnnouncer::DnssdAnnouncer(LogFile& log) : log_(log) {}

DnssdAnnouncer::~DnssdAnnouncer()
{
    Stop();
}

QByteArray DnssdAnnouncer::InstanceName()
{
    return (ComputerName() + QLatin1Char('(') + UserName() + QLatin1Char(')')).toUtf8();
}

bool DnssdAnnouncer::Start(std::uint16_t port)
{
    const QByteArray name = InstanceName();
    if (library_) return true;
    // Avahi's compatibility library, which provides this interface on Linux, writes a warning to
    // standard error on its first use unless this is set; a value the user set stays.
    ::setenv("AVAHI_COMPAT_NOWARN", "1", 0);
    library_ = ::dlopen(LibraryName().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        log_.WriteLogLine(QStringLiteral("LoadLibrary Bonjour failed"));
        return false;
    }
    // The library stays loaded whatever the registration's outcome: no further attempt is
    // made until Stop has run.
    const auto registerService = reinterpret_cast<RegisterFn>(::dlsym(library_, "DNSServiceRegister"));
    ServiceRef ref = nullptr;
    const std::int32_t result = registerService
                                    ? registerService(&ref, 0, 0, name.constData(), kServiceType, nullptr,
                                                      nullptr, htons(port), 0, nullptr, nullptr, nullptr)
                                    : -1;
    if (result == 0) {
        serviceRef_ = ref;
        log_.WriteLogLine(QStringLiteral("Bonjour on"));
    } else {
        serviceRef_ = nullptr;
        log_.WriteLogLine(QStringLiteral("BonjourStart failed"));
    }
    return true;
}

void DnssdAnnouncer::Stop()
{
    if (!library_) return;
    if (serviceRef_) {
        if (const auto deallocate =
                reinterpret_cast<DeallocateFn>(::dlsym(library_, "DNSServiceRefDeallocate")))
            deallocate(serviceRef_);
        serviceRef_ = nullptr;
    }
    log_.WriteLogLine(QStringLiteral("Bonjour off"));
    ::dlclose(library_);
    library_ = nullptr;
}
