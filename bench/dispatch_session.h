#pragma once
// What the benchmarks that talk to the dispatcher as the peer does share: homes of test data made
// once per item count, and a session of agent, dispatcher and counting reply channel.

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

#include "common/byte_io.h"
#include "core/log_file.h"
#include "counting_reply_channel.h"
#include "dispatch/agent.h"
#include "dispatch/dispatcher.h"

// Points HOME and XDG_DATA_HOME at `home`, where the agent looks for the user's data and its own.
inline void UseHome(const QString& home)
{
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
}

// Temporary homes, one per item count, each filled once and kept for the process's life, so that
// the runs of one size after the first do not pay for writing the data again.
class HomesByCount {
public:
    // `fill` writes the data of `count` items below the given home.
    explicit HomesByCount(std::function<void(const QString& home, int count)> fill) : fill_(std::move(fill))
    {
    }

    const QString& Home(int count)
    {
        auto& dir = homes_[count];
        if (!dir) {
            dir = std::make_unique<QTemporaryDir>();
            fill_(dir->path(), count);
            paths_[count] = dir->path();
        }
        return paths_[count];
    }

private:
    std::function<void(const QString&, int)> fill_;
    std::map<int, std::unique_ptr<QTemporaryDir>> homes_;
    std::map<int, QString> paths_;
};

// An agent with its dispatcher, as the server holds them for one peer; the log goes nowhere.
struct DispatchSession {
    DispatchSession() { agent.machineId = QStringLiteral("BENCH"); }
    // A request the dispatcher does not answer with its reply stops the benchmark: the figures of
    // a failing request would mean nothing.
    void Send(std::uint16_t code, const QByteArray& payload = {})
    {
        dispatcher.DispatchCommand(code, 1, AsBytes(payload), channel);
        if (channel.lastCode != code + 1) std::abort();
    }

    LogFile log{QString()};
    Agent agent{log};
    Dispatcher dispatcher{agent};
    CountingReplyChannel channel;
};
