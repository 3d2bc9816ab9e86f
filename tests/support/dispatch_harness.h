#pragma once
// Runs requests through a real Dispatcher and Agent inside a temporary home, with a reply
// channel and an agent host that record what the handlers did.
//
//   DispatchHarness h;
//   FakeItemStore& store = h.Install(ItemKind::Contacts, 2);
//   h.agent.agentId = 2;
//   SentMessage reply = h.Send(AS_CHECK_CONTACTS);
//   EXPECT_EQ(reply.code, AS_CHECK_CONTACTS + 1);

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/item_record.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "support/fake_item_store.h"
#include "support/recording_channel.h"
#include "support/temp_home.h"
#include "wire/agent_host.h"

// What the handler sent in answer (the shared recording channel's entry).
using SentMessage = RecordedMessage;

// Records what handlers ask of the server and the tray, and whether connections are accepted.
class CapturingHost : public AgentHost {
public:
    void SetAcceptingConnections(bool on) override;
    void AnnounceStart() override;
    void AnnounceStop() override;
    void ShowBusyIcon(bool busy) override;
    void RequestExit() override;
    void DropConnection() override { ++drops; }
    void TellUser(const QString& text) override { told.append(text); }
    bool accepting = true;
    bool announced = true;
    bool busy = false;
    // "accept on", "accept off", "announce start", "announce stop", "busy icon", "idle icon", "exit".
    QStringList events;
    int drops = 0;  // DropConnection calls
    QStringList told;  // TellUser texts
};

class DispatchHarness {
public:
    // The peer's machine identifier is "PEER".
    DispatchHarness();
    ~DispatchHarness();

    // Puts a fresh fake store, with the roles of the source's store (MakeFakeStoreFor), in the
    // place of that source's store in the agent's store set.
    FakeItemStore& Install(ItemKind kind, std::uint32_t code);

    // One request; the last message the handler sent in answer (AS_ERROR included).
    SentMessage Send(std::uint16_t code, const QByteArray& payload = {}, std::uint16_t tag = 7);

    // The log's lines since the last call (the log is read from its file).
    QStringList TakeLogLines();

    TempHome home;
    LogFile log;
    CapturingHost host;
    Agent agent;
    Dispatcher dispatcher;
    RecordingChannel channel;

private:
    qsizetype logRead_ = 0;
};

// Payload builders and reply readers.
QByteArray Utf16z(const QString& text);  // UTF-16 with a zero unit
QByteArray U16Bytes(std::uint16_t value);
QByteArray U32Bytes(std::uint32_t value);
QByteArray ItemBlob(const QString& id, const ItemRecord& record);  // with identifier when id is not empty
ItemRecord DecodeBlob(const QByteArray& blob, QString* id = nullptr);

struct ParsedChangeReport {
    QStringList added, edited, deleted;
    bool operator==(const ParsedChangeReport&) const = default;
};
// Reads a change report, cutting identifiers at every 48 units; fails the test on a bad layout.
ParsedChangeReport ParseChangeReport(const QByteArray& payload);
std::ostream& operator<<(std::ostream& out, const ParsedChangeReport& report);

// A record of text fields: {{"FirstName", "Ann"}, {"Body", "x"}}.
ItemRecord TextRecord(std::initializer_list<std::pair<const char*, const char*>> fields);
