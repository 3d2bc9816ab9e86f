#include "wire_fuzz_driver.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <algorithm>
#include <array>

#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "net/serv_socket.h"
#include "net/socket_error_log.h"
#include "wire/message_header.h"

namespace {

// The requests whose handlers stay installed.
constexpr std::array<std::uint16_t, 6> kServed = {AS_STATUS, AS_MACHINE_ID, AS_GET_OWNER,
                                                  AS_QUIT,   AS_LOGIN,      AS_PUT_FRAGMENT_REQUEST};

class DiscardingTransport : public SocketTransport {
public:
    bool SendAll(const std::uint8_t* data, std::size_t size) override
    {
        // Touch every byte so that a send of unowned memory shows.
        for (std::size_t i = 0; i < size; ++i) checksum += data[i];
        return true;
    }
    void Abort() override { aborted = true; }
    unsigned checksum = 0;
    bool aborted = false;
};

}  // namespace

void PointHomeAtTemporaryFolder()
{
    static QTemporaryDir home;
    static bool done = false;
    if (done) return;
    done = true;
    const QByteArray root = home.path().toUtf8();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
    qputenv("XDG_RUNTIME_DIR", root);
}

void FeedWireBytes(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return;
    // Read sizes: 1 + a value below 2^k, k from the first byte; the second seeds the sequence.
    const unsigned widthBits = 1 + data[0] % 15;
    std::uint32_t seed = data[1] | 0x100u;
    data += 2;
    size -= 2;

    LogFile log;
    Agent agent(log);
    Dispatcher dispatcher(agent);
    for (std::uint32_t code = 0; code <= kHighestRequestCode; ++code)
        if (std::find(kServed.begin(), kServed.end(), code) == kServed.end())
            dispatcher.SetHandler(static_cast<std::uint16_t>(code), nullptr);
    dispatcher.SetHandler(AS_GET_CONTACT, [](RequestContext& ctx) {
        const std::size_t length =
            ctx.payload.size() >= 2 ? GetU16(ctx.payload.data()) * 100000u / 65535u : 0;
        ctx.Reply(QByteArray(static_cast<qsizetype>(length), 'r'));
    });
    dispatcher.SetHandler(AS_SET_CONTACT, [](RequestContext& ctx) {
        const QByteArray all = ctx.TakeConsumingPayload();
        ctx.Reply(all.left(64));
    });

    SocketErrorLog errorLog;
    DiscardingTransport transport;
    CServSocket socket(
        transport,
        [&dispatcher](std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) {
            dispatcher.DispatchCommand(code, tag, payload, channel);
        },
        &errorLog);

    std::size_t at = 0;
    while (at < size && !transport.aborted) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t chunk =
            std::min<std::size_t>(size - at, 1 + ((seed >> 8) & ((1u << widthBits) - 1)));
        socket.OnReceive(ByteView(data + at, chunk));
        at += chunk;
    }
}
