// The wire over loopback: the agent's framing, dispatcher and server against a bare lockstep
// server written here that exchanges the same message sizes, so each pair of figures shows what
// the agent's own code costs.
//   RoundTrip    a small request and its reply (AS_GET_OWNER)
//   LongReply    a 64 MiB reply in AS_FRAGMENT pieces, one peer message per piece
//   LongRequest  an AS_SET_FILE assembled from AS_PUT_FRAGMENT pieces (1 and 16 MiB), each piece
//                acknowledged with one byte, then the consuming request; served by the agent's own
//                handler, which writes the request's first 4 KiB to a file. Beside the times, the
//                process's resident memory above idle once the connection has closed.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "net/agent_server.h"
#include "net/server_ui.h"
#include "platform/system_info.h"
#include "process_memory.h"
#include "wire/message_header.h"

namespace {

constexpr std::size_t kMiB = 1 << 20;
constexpr std::size_t kLongReplyBytes = 64 * kMiB;
constexpr std::uint16_t kSetFileDataBytes = 4096;

// The AS_SET_FILE payload's head: the target path as a counted UTF-16 string, the offset, the
// count of data bytes. The path has a fixed length so that the bare server can find the count.
QByteArray SetFileHead(const QString& windowsPath)
{
    QByteArray head;
    ByteWriter w(head);
    w.CountedUtf16(windowsPath);
    w.U64(0);
    w.U16(kSetFileDataBytes);
    return head;
}
std::size_t kSetFileHeaderBytes = 0;  // set from the first head made

// ---- plain blocking socket helpers ------------------------------------------------------------

bool SendAllBytes(int fd, const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool RecvExact(int fd, void* data, std::size_t size)
{
    auto* p = static_cast<char*>(data);
    while (size) {
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SendMessage(int fd, std::uint16_t code, std::uint16_t tag, const char* payload, std::size_t length)
{
    char message[kMaxMessageBytes];
    auto* h = reinterpret_cast<std::uint8_t*>(message);
    PutU16(h, code);
    PutU16(h + 2, tag);
    PutU16(h + 4, static_cast<std::uint16_t>(length));
    if (length) std::memcpy(message + kHeaderBytes, payload, length);
    return SendAllBytes(fd, message, kHeaderBytes + length);
}

// Reads one message into `payload`; returns its code (-1 on failure).
int RecvMessage(int fd, std::vector<char>& payload)
{
    std::uint8_t h[kHeaderBytes];
    if (!RecvExact(fd, h, sizeof h)) return -1;
    payload.resize(GetU16(h + 4));
    if (!payload.empty() && !RecvExact(fd, payload.data(), payload.size())) return -1;
    return GetU16(h);
}

// Connects and logs in with the empty password, as the peer's road begins.
int ConnectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<char> reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        !SendMessage(fd, AS_LOGIN, 0, nullptr, 0) || RecvMessage(fd, reply) != AS_LOGIN + 1) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// ---- the agent, on a thread of its own with its event loop -------------------------------------

class SilentUi : public ServerUi {
public:
    QString LangString(int) const override { return {}; }
    void SetTrayTip(const QString&) override {}
    void SetStatusText(const QString&) override {}
    void ShowServerState(bool) override {}
    void ShowPort(int) override {}
    void ShowBusyIcon(bool) override {}
    void ShowBalloon(const QString&, int) override {}
    bool NotifyOnConnect() const override { return false; }
    ConnectionChoice PromptConnection(const QString&) override { return ConnectionChoice::Deny; }
    void AddIpListEntry(const QString&) override {}
};

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "wire_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

QTemporaryDir& Home()
{
    static QTemporaryDir home;
    static bool pointed = [] {
        const QByteArray root = home.path().toUtf8();
        qputenv("HOME", root);
        qputenv("XDG_CONFIG_HOME", root + "/.config");
        qputenv("XDG_DATA_HOME", root + "/.local/share");
        qputenv("XDG_RUNTIME_DIR", root);
        qputenv("TWINLARK_DNSSD_LIBRARY", root + "/no-dnssd.so");  // the announcement is not measured
        return true;
    }();
    (void)pointed;
    return home;
}

class AgentThread {
public:
    AgentThread()
    {
        App();
        Home();
        CreateSettingsKey();
        WritePort(0);  // any free port
        thread_ = std::thread([this] { Run(); });
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return port_ != 0; });
    }
    ~AgentThread()
    {
        QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
        thread_.join();
    }
    std::uint16_t Port() const { return port_; }

private:
    void Run()
    {
        LogFile log;
        Agent agent(log);
        Dispatcher dispatcher(agent);
        SilentUi ui;
        AgentServer server(log, dispatcher, ui);
        const QByteArray longReply(static_cast<qsizetype>(kLongReplyBytes), 'r');
        // A stand-in for a store's long reply.
        dispatcher.SetHandler(AS_GET_CONTACT, [&longReply](RequestContext& ctx) { ctx.Reply(longReply); });
        QEventLoop loop;
        loop_ = &loop;
        server.ServerStart();
        {
            std::lock_guard lock(mutex_);
            port_ = server.ListeningPort();
        }
        ready_.notify_all();
        loop.exec();
        server.ServerStop();
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::uint16_t port_ = 0;
    QEventLoop* loop_ = nullptr;
};

// ---- the bare lockstep server -----------------------------------------------------------------

// Answers with the agent's message sizes and nothing else: the version for AS_LOGIN, the
// computer name for AS_GET_OWNER,
// 64 MiB in pieces for AS_GET_CONTACT, one byte per AS_PUT_FRAGMENT piece appended to a buffer,
// the count of bytes written for AS_SET_FILE.
class BareThread {
public:
    BareThread()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 4);
        socklen_t size = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
        owner_ = utf16::Bytes(ComputerName());
        thread_ = std::thread([this] { Run(); });
    }
    ~BareThread()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t Port() const { return port_; }

private:
    void Run()
    {
        std::vector<char> reply(kLongReplyBytes, 'r');
        std::vector<char> request;
        std::vector<char> assembled;
        while (!stop_) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            for (;;) {
                const int code = RecvMessage(fd, request);
                if (code < 0) break;
                if (code == AS_LOGIN) {
                    SendMessage(fd, AS_LOGIN + 1, 0,
                                "2\0.\0"
                                "0\0.\0"
                                "0\0.\0"
                                "1\0",
                                14);
                } else if (code == AS_GET_OWNER) {
                    SendMessage(fd, AS_GET_OWNER + 1, 0, owner_.constData(),
                                static_cast<std::size_t>(owner_.size()));
                } else if (code == AS_GET_CONTACT) {
                    std::size_t at = 0;
                    while (kLongReplyBytes - at > kMaxPayloadBytes) {
                        SendMessage(fd, AS_FRAGMENT, 0, reply.data() + at, kMaxPayloadBytes);
                        at += kMaxPayloadBytes;
                        if (RecvMessage(fd, request) < 0) break;
                    }
                    SendMessage(fd, AS_GET_CONTACT + 1, 0, reply.data() + at, kLongReplyBytes - at);
                } else if (code == AS_PUT_FRAGMENT) {
                    assembled.insert(assembled.end(), request.begin(), request.end());
                    const char ack = static_cast<char>(kPutFragmentAck);
                    SendAllBytes(fd, &ack, 1);
                } else if (code == AS_SET_FILE) {
                    assembled.insert(assembled.end(), request.begin(), request.end());
                    std::uint8_t count[2];
                    PutU16(count, assembled.size() >= kSetFileHeaderBytes
                                      ? GetU16(reinterpret_cast<const std::uint8_t*>(assembled.data()) +
                                               kSetFileHeaderBytes - 2)
                                      : 0);
                    std::vector<char>().swap(assembled);
                    SendMessage(fd, AS_SET_FILE + 1, 0, reinterpret_cast<char*>(count), 2);
                }
            }
            ::close(fd);
        }
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    QByteArray owner_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

AgentThread& Agent()
{
    static AgentThread agent;
    return agent;
}

BareThread& Bare()
{
    static BareThread bare;
    return bare;
}

std::uint16_t PortFor(const benchmark::State& state)
{
    return state.range(0) == 0 ? Agent().Port() : Bare().Port();
}

void Label(benchmark::State& state)
{
    state.SetLabel(state.range(0) == 0 ? "agent" : "bare pair");
}

// ---- the measurements -------------------------------------------------------------------------

void BM_RoundTrip_GetOwner(benchmark::State& state)
{
    const int fd = ConnectTo(PortFor(state));
    std::vector<char> payload;
    for (auto _ : state) {
        SendMessage(fd, AS_GET_OWNER, 1, nullptr, 0);
        if (RecvMessage(fd, payload) != AS_GET_OWNER + 1) state.SkipWithError("no reply");
    }
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
    Label(state);
}
BENCHMARK(BM_RoundTrip_GetOwner)->Arg(0)->Arg(1)->UseRealTime();

void BM_LongReply_64MiB(benchmark::State& state)
{
    const int fd = ConnectTo(PortFor(state));
    std::vector<char> payload;
    for (auto _ : state) {
        SendMessage(fd, AS_GET_CONTACT, 2, nullptr, 0);
        std::size_t received = 0;
        for (;;) {
            const int code = RecvMessage(fd, payload);
            received += payload.size();
            if (code != AS_FRAGMENT) break;
            SendMessage(fd, AS_STATUS, 3, nullptr, 0);  // any message fetches the next piece
        }
        if (received != kLongReplyBytes) state.SkipWithError("short reply");
    }
    ::close(fd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLongReplyBytes));
    Label(state);
}
BENCHMARK(BM_LongReply_64MiB)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_LongRequest(benchmark::State& state)
{
    const std::uint16_t port = PortFor(state);
    const std::size_t total = static_cast<std::size_t>(state.range(1)) * kMiB;
    const QString target = Home().path() + QStringLiteral("/set-file.bin");
    const QByteArray head = SetFileHead(QStringLiteral("C:") + QString(target).replace(u'/', u'\\'));
    kSetFileHeaderBytes = static_cast<std::size_t>(head.size());
    std::vector<char> request(total, 'p');
    std::memcpy(request.data(), head.constData(), static_cast<std::size_t>(head.size()));
    std::vector<char> payload;
    payload.reserve(kMaxPayloadBytes);
    // What the set-up freed is handed back first, so that idle is the floor the agent can reach.
    malloc_trim(0);
    const long idleKiB = ResidentKiB();
    const int fd = ConnectTo(port);
    for (auto _ : state) {
        std::size_t sent = 0;
        while (total - sent > kMaxPayloadBytes) {
            SendMessage(fd, AS_PUT_FRAGMENT, 4, request.data() + sent, kMaxPayloadBytes);
            char ack = 0;
            RecvExact(fd, &ack, 1);
            sent += kMaxPayloadBytes;
        }
        SendMessage(fd, AS_SET_FILE, 5, request.data() + sent, total - sent);
        if (RecvMessage(fd, payload) != AS_SET_FILE + 1 || payload.size() != 2 ||
            GetU16(reinterpret_cast<const std::uint8_t*>(payload.data())) != kSetFileDataBytes)
            state.SkipWithError("request not served");
    }
    ::close(fd);
    // The server notices the close on its own thread; give it a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long afterKiB = ResidentKiB();
    if (idleKiB >= 0 && afterKiB >= 0)
        state.counters["rss_MiB_above_idle_after_close"] = static_cast<double>(afterKiB - idleKiB) / 1024.0;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
    Label(state);
}
BENCHMARK(BM_LongRequest)
    ->Args({0, 1})
    ->Args({0, 16})
    ->Args({1, 1})
    ->Args({1, 16})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
