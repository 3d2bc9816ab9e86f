#pragma once
// Runs file requests through the real framing and dispatcher, in a temporary home whose drive
// C: is a folder of its own, and records the bytes that go back to the peer.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <map>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"
#include "dispatch/request_codes.h"
#include "net/serv_socket.h"
#include "platform/path_map.h"
#include "platform/shell_operations.h"
#include "support/dispatch_harness.h"
#include "support/temp_home.h"
#include "wire/message_header.h"

namespace file_requests {

// Stands in for the desktop while it lives and keeps every URL it was asked to open.
class RecordingOpener : public DesktopOpener {
public:
    RecordingOpener() { SetDesktopOpenerForTesting(this); }
    ~RecordingOpener() override { SetDesktopOpenerForTesting(nullptr); }
    bool Open(const QUrl& url) override
    {
        opened.append(url);
        return false;
    }
    QList<QUrl> opened;
};

// The wire below the framing: keeps every byte sent, or fails every send when asked.
class RecordingTransport : public SocketTransport {
public:
    bool SendAll(const std::uint8_t* data, std::size_t size) override
    {
        if (failSends)
            return false;
        sent.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        return true;
    }
    void Abort() override { aborted = true; }

    QByteArray sent;
    bool failSends = false;
    bool aborted = false;
};

struct Reply {
    std::uint16_t code = 0;
    std::uint16_t tag = 0;
    QByteArray payload;  // all pieces joined
    int messages = 0;    // 1, or the number of pieces of a long reply
};

// Request payload pieces.
inline QByteArray Utf16(const QString& text)
{
    return utf16::Bytes(text);
}
inline QByteArray Counted(const QString& text)
{
    QByteArray out;
    ByteWriter(out).CountedUtf16(text);
    return out;
}
inline QByteArray U64(std::uint64_t v)
{
    QByteArray out;
    ByteWriter(out).U64(v);
    return out;
}

class FileRequestTest : public ::testing::Test {
protected:
    FileRequestTest()
    {
        QDir().mkpath(cRoot_);
        agent_.SetHost(&host_);
    }
    ~FileRequestTest() override { agent_.SetHost(nullptr); }

    // The local path of a path below C:.
    QString Local(const QString& relative) const
    {
        return relative.isEmpty() ? cRoot_ : cRoot_ + u'/' + relative;
    }

    void WriteFile(const QString& relative, const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(Local(relative)).absolutePath());
        QFile f(Local(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << relative.toStdString();
        ASSERT_EQ(f.write(content), content.size());
    }
    std::optional<QByteArray> ReadFile(const QString& relative) const
    {
        QFile f(Local(relative));
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        return f.readAll();
    }
    bool Exists(const QString& relative) const
    {
        struct stat st {};
        return lstat(QFile::encodeName(Local(relative)).constData(), &st) == 0;
    }

    // One message from the peer; the whole reply, fetching every further piece of a long one
    // the way the peer does (one message per piece).
    Reply Request(std::uint16_t code, const QByteArray& payload, std::uint16_t tag = 0x4242)
    {
        EXPECT_LE(static_cast<std::size_t>(payload.size()), kMaxPayloadBytes);
        transport_.sent.clear();
        socket_.OnReceive(AsBytes(Message(code, tag, payload)));
        Reply reply;
        while (true) {
            if (transport_.sent.size() < static_cast<qsizetype>(kHeaderBytes)) {
                ADD_FAILURE() << "no reply to request " << code;
                return reply;
            }
            ByteReader r(transport_.sent);
            reply.code = r.U16();
            reply.tag = r.U16();
            const std::uint16_t length = r.U16();
            EXPECT_EQ(static_cast<std::size_t>(transport_.sent.size()), kHeaderBytes + length)
                << "one message per send";
            reply.payload += transport_.sent.mid(kHeaderBytes, length);
            ++reply.messages;
            transport_.sent.clear();
            if (reply.code != AS_FRAGMENT)
                return reply;
            socket_.OnReceive(AsBytes(Message(AS_FRAGMENT, tag, {})));
        }
    }

    // A request longer than one message: AS_PUT_FRAGMENT pieces (each acknowledged with one
    // byte), then the last part in the request itself.
    Reply LongRequest(std::uint16_t code, const QByteArray& payload, qsizetype pieceSize = kMaxPayloadBytes)
    {
        qsizetype at = 0;
        while (payload.size() - at > pieceSize) {
            transport_.sent.clear();
            socket_.OnReceive(AsBytes(Message(AS_PUT_FRAGMENT, 1, payload.mid(at, pieceSize))));
            EXPECT_EQ(transport_.sent, QByteArray(1, static_cast<char>(kPutFragmentAck)));
            at += pieceSize;
        }
        return Request(code, payload.mid(at));
    }

    static QByteArray Message(std::uint16_t code, std::uint16_t tag, const QByteArray& payload)
    {
        QByteArray m;
        ByteWriter w(m);
        w.U16(code);
        w.U16(tag);
        w.U16(static_cast<std::uint16_t>(payload.size()));
        m += payload;
        return m;
    }

    // The log lines written since the last call.
    QStringList NewLogLines()
    {
        const QByteArray all = home_.ReadFile(QStringLiteral("test.log")).value_or(QByteArray());
        const QByteArray fresh = all.mid(logSeen_);
        logSeen_ = all.size();
        QStringList lines = QString::fromUtf8(fresh).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    // Every path below C: with its kind, content and modification time, to show that a request
    // changed nothing.
    std::map<QString, QString> Snapshot() const
    {
        std::map<QString, QString> all;
        QDirIterator::IteratorFlags flags = QDirIterator::Subdirectories;
        QDirIterator it(cRoot_, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, flags);
        while (it.hasNext()) {
            const QString path = it.next();
            const QFileInfo info(path);
            QFile f(path);
            const QByteArray content =
                info.isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            all[path] = QStringLiteral("%1 %2 %3")
                            .arg(info.isDir() ? "dir" : "file")
                            .arg(info.lastModified().toMSecsSinceEpoch())
                            .arg(QString::fromLatin1(content.toHex()));
        }
        return all;
    }

    TempHome home_;
    const QString cRoot_ = home_.Path(QStringLiteral("drive-c"));
    ScopedDriveTableForTesting drives_{{{'C', cRoot_, DriveType::Fixed}}};
    LogFile log_{home_.Path(QStringLiteral("test.log"))};
    Agent agent_{log_};
    Dispatcher dispatcher_{agent_};
    CapturingHost host_;
    RecordingTransport transport_;
    CServSocket socket_{
        transport_,
        [this](std::uint16_t code, std::uint16_t tag, ByteView payload, ReplyChannel& channel) {
            dispatcher_.DispatchCommand(code, tag, payload, channel);
        },
        nullptr};
    qsizetype logSeen_ = 0;
};

}  // namespace file_requests
