/* A stand-in for the DNS-SD client library that records every call, so tests can check what
 * the agent registers without a DNS-SD daemon.
 *
 *   FAKE_DNSSD_LOG     file to which one line per call is appended
 *   FAKE_DNSSD_RESULT  the error code DNSServiceRegister returns (default 0, success)
 *
 * Like Avahi's compatibility library, it warns when first used unless AVAHI_COMPAT_NOWARN is set.
 *
 * Lines:
 *   warning compatibility layer      (first register without AVAHI_COMPAT_NOWARN)
 *   register flags=0 interface=0 name=<utf-8> type=<type> domain=<null|text> host=<null|text>
 *            port=<host order> txt=<length> callback=<null|set> context=<null|set>
 *   deallocate ref=<the reference register handed out>
 */
#include <arpa/inet.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static int registrations;
static int warned;

static void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));

static void Record(const char* format, ...)
{
    const char* path = getenv("FAKE_DNSSD_LOG");
    if (!path || !*path) return;
    FILE* f = fopen(path, "a");
    if (!f) return;
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fputc('\n', f);
    fclose(f);
}

static const char* OrNull(const char* text)
{
    return text ? text : "null";
}

int32_t DNSServiceRegister(void** ref, uint32_t flags, uint32_t interfaceIndex, const char* name,
                           const char* regtype, const char* domain, const char* host, uint16_t port,
                           uint16_t txtLength, const void* txtRecord, void* callback, void* context)
{
    (void)txtRecord;
    if (!warned && !getenv("AVAHI_COMPAT_NOWARN")) {
        warned = 1;
        Record("warning compatibility layer");
    }
    Record(
        "register flags=%u interface=%u name=%s type=%s domain=%s host=%s port=%u txt=%u callback=%s "
        "context=%s",
        flags, interfaceIndex, OrNull(name), OrNull(regtype), OrNull(domain), OrNull(host), ntohs(port),
        txtLength, callback ? "set" : "null", context ? "set" : "null");
    const char* result = getenv("FAKE_DNSSD_RESULT");
    const int32_t error = result ? (int32_t)strtol(result, NULL, 10) : 0;
    if (error == 0) *ref = (void*)(intptr_t)(++registrations);
    return error;
}

void DNSServiceRefDeallocate(void* ref)
{
    Record("deallocate ref=%ld", (long)(intptr_t)ref);
}
