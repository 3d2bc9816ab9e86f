#include "support/dispatch_harness.h"

#include <gtest/gtest.h>

#include <QFile>
#include <ostream>

#include "common/byte_io.h"
#include "common/item_id.h"
#include "dispatch/item_record_codec.h"
#include "stores/catalog/store_set.h"
#include "wire/message_header.h"

void CapturingHost::SetAcceptingConnections(bool on)
{
    accepting = on;
    events.append(on ? QStringLiteral("accept on") : QStringLiteral("accept off"));
}

void CapturingHost::AnnounceStart()
{
    announced = true;
    events.append(QStringLiteral("announce start"));
}

void CapturingHost::AnnounceStop()
{
    announced = false;
    events.append(QStringLiteral("announce stop"));
}

void CapturingHost::ShowBusyIcon(bool isBusy)
{
    busy = isBusy;
    events.append(isBusy ? QStringLiteral("busy icon") : QStringLiteral("idle icon"));
}

void CapturingHost::RequestExit()
{
    events.append(QStringLiteral("exit"));
}

DispatchHarness::DispatchHarness() : log(home.Path(QStringLiteral("test.log"))), agent(log), dispatcher(agent)
{
    agent.SetHost(&host);
    agent.machineId = QStringLiteral("PEER");
    agent.agentId = 0xFFFF;
    agent.notesAgentId = 0xFFFF;
    agent.browserId = 0xFFFF;
}

DispatchHarness::~DispatchHarness()
{
    agent.SetHost(nullptr);
}

FakeItemStore& DispatchHarness::Install(ItemKind kind, std::uint32_t code)
{
    std::unique_ptr<FakeItemStore> store = MakeFakeStoreFor(kind, code);
    FakeItemStore& ref = *store;
    agent.stores->Replace(kind, code, std::move(store));
    return ref;
}

SentMessage DispatchHarness::Send(std::uint16_t code, const QByteArray& payload, std::uint16_t tag)
{
    const std::size_t before = channel.messages.size();
    dispatcher.DispatchCommand(code, tag, AsBytes(payload), channel);
    EXPECT_EQ(channel.messages.size(), before + 1) << "request " << code << " must be answered exactly once";
    return channel.messages.size() > before ? channel.messages.back() : SentMessage{};
}

QStringList DispatchHarness::TakeLogLines()
{
    QFile file(log.GetLogPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray all = file.readAll();
    const QByteArray fresh = all.mid(logRead_);
    logRead_ = all.size();
    QStringList lines = QString::fromUtf8(fresh).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QByteArray Utf16z(const QString& text)
{
    QByteArray bytes = utf16::Bytes(text);
    bytes.append(2, '\0');
    return bytes;
}

QByteArray U16Bytes(std::uint16_t value)
{
    QByteArray bytes;
    ByteWriter(bytes).U16(value);
    return bytes;
}

QByteArray U32Bytes(std::uint32_t value)
{
    QByteArray bytes;
    ByteWriter(bytes).U32(value);
    return bytes;
}

QByteArray ItemBlob(const QString& id, const ItemRecord& record)
{
    ItemRecord copy = record;
    QByteArray blob = EncodeItemRecord(id.isEmpty() ? QString(kItemIdUnits, QChar(u'0')) : id, copy);
    return id.isEmpty() ? blob.mid(kItemIdBytes) : blob;
}

ItemRecord DecodeBlob(const QByteArray& blob, QString* id)
{
    ItemRecord record;
    DecodeItemRecord(AsBytes(blob), true, record, id);
    return record;
}

ParsedChangeReport ParseChangeReport(const QByteArray& payload)
{
    ParsedChangeReport report;
    ByteReader r(payload);
    try {
        for (QStringList* section : {&report.added, &report.edited, &report.deleted}) {
            const std::uint16_t count = r.U16();
            for (std::uint16_t i = 0; i < count; ++i) section->append(r.Utf16(kItemIdBytes));
        }
        EXPECT_TRUE(r.AtEnd()) << "bytes after the three sections";
    } catch (const std::exception& e) {
        ADD_FAILURE() << "malformed change report: " << e.what();
    }
    return report;
}

std::ostream& operator<<(std::ostream& out, const ParsedChangeReport& report)
{
    const auto list = [&](const char* name, const QStringList& ids) {
        out << name << " [" << ids.join(QStringLiteral(", ")).toStdString() << "] ";
    };
    list("added", report.added);
    list("edited", report.edited);
    list("deleted", report.deleted);
    return out;
}

ItemRecord TextRecord(std::initializer_list<std::pair<const char*, const char*>> fields)
{
    ItemRecord record;
    for (const auto& [name, value] : fields) record.Add(QString::fromUtf8(name), QString::fromUtf8(value));
    return record;
}
