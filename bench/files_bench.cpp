// Reading a 256 MiB file from the agent with AS_GET_FILE over loopback TCP, in the largest
// requests the protocol allows (65535 bytes, each answered in five messages), against the
// same file read and sent through a bare lockstep socket pair with the same message sizes.
// The agent should reach at least 0.8 of the bare pair's throughput.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "net/serv_socket.h"
#include "platform/path_map.h"
#include "wire/message_header.h"

namespace {

constexpr std::uint64_t kFileBytes = 256ull << 20;
constexpr std::uint16_t kRequestBytes = 65535;
const QString kPeerPath = QStringLiteral("C:\\bench\\big.bin");

// A temporary home with drive C: and the 256 MiB file, made once for the whole run.
class BenchFiles {
public:
    BenchFiles()
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(name, QFile::encodeName(dir_.path()));
        QDir(dir_.path()).mkpath(QStringLiteral("c/bench"));
        SetDriveTableForTesting({{'C', dir_.path() + QStringLiteral("/c"), DriveType::Fixed}});
        QFile file(LocalFile());
        if (!file.open(QIODevice::WriteOnly))
            return;
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 131) ^ (i >> 9));
        for (std::uint64_t written = 0; written < kFileBytes;
             written += static_cast<std::uint64_t>(block.size())) {
            block[0] = static_cast<char>(written >> 20);
            file.write(block);
        }
    }
    QString LocalFile() const { return dir_.path() + QStringLiteral("/c/bench/big.bin"); }
    QString LogPath() const { return dir_.path() + QStringLiteral("/bench.log"); }

private:
    QTemporaryDir dir_;
};

BenchFiles& Files()
{
    static BenchFiles files;
    return files;
}

// --- Sockets ----------------------------------------------------------------------------------

struct SocketPair {
    int server = -1;
    int peer = -1;
};

SocketPair ConnectOverLoopback()
{
    SocketPair pair;
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        return pair;
    }
    pair.peer = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(pair.peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        pair.server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    close(listener);
    return pair;
}

bool SendAllBytes(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReceiveExactly(int fd, std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = recv(fd, data, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// One message: header and payload in one send, as the agent's framing sends them.
bool SendMessage(int fd, std::uint16_t code, std::uint16_t tag, const std::uint8_t* payload,
                 std::size_t length, std::vector<std::uint8_t>& scratch)
{
    scratch.resize(kHeaderBytes + length);
    PutU16(scratch.data(), code);
    PutU16(scratch.data() + 2, tag);
    PutU16(scratch.data() + 4, static_cast<std::uint16_t>(length));
    if (length)
        std::memcpy(scratch.data() + kHeaderBytes, payload, length);
    return SendAllBytes(fd, scratch.data(), scratch.size());
}

// Reads one message; false when the connection ended.
bool ReceiveMessage(int fd, std::uint16_t& code, std::vector<std::uint8_t>& payload)
{
    std::uint8_t header[kHeaderBytes];
    if (!ReceiveExactly(fd, header, sizeof header))
        return false;
    code = GetU16(header);
    payload.resize(GetU16(header + 4));
    return ReceiveExactly(fd, payload.data(), payload.size());
}

// --- The two servers --------------------------------------------------------------------------

class FdTransport : public SocketTransport {
public:
    explicit FdTransport(int fd) : fd_(fd) {}
    bool SendAll(const std::uint8_t* data, std::size_t size) override
    {
        return SendAllBytes(fd_, data, size);
    }
    void Abort() override { shutdown(fd_, SHUT_RDWR); }

private:
    int fd_;
};

// The agent: framing, dispatcher and file handlers, fed by each read of the connection.
void RunAgent(int fd)
{
    LogFile log(Files().LogPath());
    Agent agent(log);
    Dispatcher dispatcher(agent);
    FdTransport transport(fd);
    CServSocket socket(
        transport,
        [&](std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) {
            dispatcher.DispatchCommand(code, tag, payload, channel);
        },
        nullptr);
    std::vector<std::uint8_t> buffer(kMaxMessageBytes);
    for (;;) {
        const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        socket.OnReceive(ByteView(buffer.data(), static_cast<std::size_t>(got)));
    }
}

// The bare pair: reads the requested range and sends it in the same messages, with nothing
// between the socket and the file.
void RunBareServer(int fd, const QString& localFile)
{
    const int file = open(QFile::encodeName(localFile).constData(), O_RDONLY | O_CLOEXEC);
    std::vector<std::uint8_t> request, data, scratch;
    std::uint16_t code = 0;
    while (file >= 0 && ReceiveMessage(fd, code, request)) {
        ByteReader r(ByteView(request.data(), request.size()));
        r.Skip(r.U16());
        const std::uint64_t offset = r.U64();
        const std::uint16_t count = r.U16();
        data.assign(count, 0);
        if (pread(file, data.data(), count, static_cast<off_t>(offset)) < 0)
            break;
        std::size_t at = 0;
        while (count - at > kMaxPayloadBytes) {
            if (!SendMessage(fd, AS_FRAGMENT, 1, data.data() + at, kMaxPayloadBytes, scratch) ||
                !ReceiveMessage(fd, code, request))
                break;
            at += kMaxPayloadBytes;
        }
        if (!SendMessage(fd, AS_GET_FILE + 1, 1, data.data() + at, count - at, scratch))
            break;
    }
    if (file >= 0)
        close(file);
}

// --- The peer ---------------------------------------------------------------------------------

// Reads the whole file in 65535-byte requests; the bytes received, or 0 on a failure. With a
// `verifyFd`, every byte received is compared with the file (0 on a difference).
std::uint64_t FetchFile(int fd, int verifyFd = -1)
{
    std::vector<std::uint8_t> payload, scratch, expected;
    QByteArray request;
    std::uint64_t received = 0;
    for (std::uint64_t offset = 0; offset < kFileBytes; offset += kRequestBytes) {
        request.clear();
        ByteWriter w(request);
        w.CountedUtf16(kPeerPath);
        w.U64(offset);
        w.U16(kRequestBytes);
        if (!SendMessage(fd, AS_GET_FILE, 1, reinterpret_cast<const std::uint8_t*>(request.constData()),
                         static_cast<std::size_t>(request.size()), scratch))
            return 0;
        std::uint16_t code = 0;
        for (;;) {
            if (!ReceiveMessage(fd, code, payload))
                return 0;
            if (verifyFd >= 0) {
                expected.assign(payload.size(), 0);
                if (pread(verifyFd, expected.data(), expected.size(), static_cast<off_t>(received)) < 0 ||
                    expected != payload)
                    return 0;
            }
            received += payload.size();
            if (code != AS_FRAGMENT)
                break;
            if (!SendMessage(fd, AS_FRAGMENT, 1, nullptr, 0, scratch))
                return 0;
        }
        if (code != AS_GET_FILE + 1)
            return 0;
    }
    return received;
}

enum class Server { Agent, Bare };

// One connection to one server for the whole benchmark; each iteration reads the file once.
class Session {
public:
    explicit Session(Server kind) : pair_(ConnectOverLoopback())
    {
        if (pair_.server < 0)
            return;
        const int fd = pair_.server;
        if (kind == Server::Agent)
            thread_ = std::thread([fd] { RunAgent(fd); });
        else
            thread_ = std::thread([fd, file = Files().LocalFile()] { RunBareServer(fd, file); });
    }
    ~Session()
    {
        if (pair_.peer >= 0)
            shutdown(pair_.peer, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        close(pair_.peer);
        close(pair_.server);
    }
    bool Ok() const { return pair_.server >= 0; }
    std::uint64_t Fetch() { return FetchFile(pair_.peer); }
    // A read that compares every byte with the file (and warms the page cache).
    std::uint64_t FetchAndVerify()
    {
        const int file = open(QFile::encodeName(Files().LocalFile()).constData(), O_RDONLY | O_CLOEXEC);
        const std::uint64_t received = FetchFile(pair_.peer, file);
        if (file >= 0)
            close(file);
        return file >= 0 ? received : 0;
    }

private:
    SocketPair pair_;
    std::thread thread_;
};

void RunTransfer(benchmark::State& state, Server kind)
{
    Files();
    Session session(kind);
    if (!session.Ok()) {
        state.SkipWithError("no loopback connection");
        return;
    }
    // The first read warms the page cache, so both servers read the file from memory.
    if (session.FetchAndVerify() < kFileBytes) {
        state.SkipWithError("transfer failed");
        return;
    }
    for (auto _ : state) {
        if (session.Fetch() < kFileBytes) {
            state.SkipWithError("transfer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void BM_GetFile256MiB_Agent(benchmark::State& state)
{
    RunTransfer(state, Server::Agent);
}

void BM_GetFile256MiB_BarePair(benchmark::State& state)
{
    RunTransfer(state, Server::Bare);
}

// Both in turn within each iteration, so that both meet the same machine load: the ratio of
// the agent's throughput to the bare pair's.
void BM_GetFile256MiB_AgentToBareRatio(benchmark::State& state)
{
    Files();
    Session agent(Server::Agent);
    Session bare(Server::Bare);
    if (!agent.Ok() || !bare.Ok() || agent.FetchAndVerify() < kFileBytes ||
        bare.FetchAndVerify() < kFileBytes) {
        state.SkipWithError("transfer failed");
        return;
    }
    double agentSeconds = 0;
    double bareSeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool agentOk = agent.Fetch() >= kFileBytes;
        const auto t1 = std::chrono::steady_clock::now();
        const bool bareOk = bare.Fetch() >= kFileBytes;
        const auto t2 = std::chrono::steady_clock::now();
        if (!agentOk || !bareOk) {
            state.SkipWithError("transfer failed");
            return;
        }
        agentSeconds += std::chrono::duration<double>(t1 - t0).count();
        bareSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double mib = static_cast<double>(state.iterations()) * static_cast<double>(kFileBytes) / (1 << 20);
    state.counters["agent_MiB_per_s"] = mib / agentSeconds;
    state.counters["bare_MiB_per_s"] = mib / bareSeconds;
    state.counters["agent_to_bare"] = bareSeconds / agentSeconds;
}

}  // namespace

BENCHMARK(BM_GetFile256MiB_Agent)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_GetFile256MiB_BarePair)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_GetFile256MiB_AgentToBareRatio)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
