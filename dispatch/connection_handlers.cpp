// The requests that concern the connection itself: login, identities, quitting, and the
// pieces of long requests.
#include "core/log_file.h"
#include "core/settings.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_context.h"
#include "dispatch/request_facts.h"
#include "platform/system_info.h"
#include "wire/agent_host.h"
#include "wire/message_header.h"

namespace {

QByteArray Utf16Reply(const QString& text)
{
    return utf16::Bytes(text);
}

void Login(RequestContext& ctx)
{
    // Case-sensitive, whole-text comparison; a failed login changes nothing (a connection that
    // has logged in stays logged in, the peer may retry at once).
    const StoredPassword stored = ReadStoredPassword();
    if (stored.state == StoredPassword::State::Unreadable) {
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_LOGIN...error: the stored password cannot be read: ") + stored.why);
        ctx.ReplyError();
        return;
    }
    if (ctx.PayloadText() != stored.text) {
        ctx.ReplyError();
        ctx.agent.host().LoginFailed();
        return;
    }
    ctx.agent.host().LoginSucceeded();
    ctx.agent.loggedIn = true;
    ctx.Reply(Utf16Reply(GetProductVersionText()));
}

}  // namespace

// The serial number of the system volume, a blank and the user name (the number alone when
// the user name cannot be read).
QString GetMachineIdentity()
{
    const auto serial = SystemVolumeSerial();
    QString identity = QString::number(serial.value_or(0));
    const QString user = UserName();
    if (!user.isEmpty())
        identity += QLatin1Char(' ') + user;
    return identity;
}

namespace {

void MachineId(RequestContext& ctx)
{
    ctx.agent.machineId = ctx.PayloadText();
    ctx.agent.log.WriteLogLine(QStringLiteral("machineID = ") + ctx.agent.machineId);
    ctx.agent.pcIdentity = GetMachineIdentity();
    ctx.Reply(Utf16Reply(ctx.agent.pcIdentity));
}

void GetOwner(RequestContext& ctx)
{
    const QString name = ConnectionComputerName();
    if (name.isEmpty()) {
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_GET_OWNER...error\n"));
        ctx.ReplyError();
        return;
    }
    ctx.Reply(Utf16Reply(name));
}

void Quit(RequestContext& ctx)
{
    ctx.Reply();
    ctx.agent.host().RequestExit();
}

void PutFragment(RequestContext& ctx)
{
    if (!ctx.agent.fragments.Append(ctx.payload)) {
        ctx.agent.log.WriteLogLine(QStringLiteral("AS_PUT_FRAGMENT...error: long request over %1 bytes dropped")
                                       .arg(FragmentBuffer::kCapBytes));
        ctx.ReplyError();
        return;
    }
    const std::uint8_t ack = kPutFragmentAck;
    ctx.ReplyRaw(ByteView(&ack, 1));
}

}  // namespace

void RegisterConnectionHandlers(Dispatcher& d)
{
    d.SetHandler(AS_LOGIN, Login);
    d.SetHandler(AS_MACHINE_ID, MachineId);
    d.SetHandler(AS_GET_OWNER, GetOwner);
    d.SetHandler(AS_QUIT, Quit);
    d.SetHandler(AS_PUT_FRAGMENT_REQUEST, PutFragment);
}
