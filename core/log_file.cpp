#include "core/log_file.h"

#include <variant>

#include "common/errors.h"
#include "core/diagnostics.h"
#include "core/log_rotation.h"
#include "core/log_text.h"
#include "platform/known_folders.h"

namespace {

QString DefaultLogPath()
{
    try {
        return AgentDataDir() + QStringLiteral("/TwinLark.log");
    } catch (const AgentError&) {
        return {};
    }
}

}  // namespace

LogFile::LogFile() : path_(DefaultLogPath())
{
    Open();
}

LogFile::LogFile(const QString& path) : path_(path)
{
    Open();
}

void LogFile::Open()
{
    if (path_.isEmpty()) return;
    file_.setFileName(path_);
    // Append keeps the lines of earlier runs; a log that cannot be opened costs only the log.
    // The log holds item dumps and machine identifiers: readable by the user alone, also when an
    // older run made it readable by others.
    if (file_.open(QIODevice::WriteOnly | QIODevice::Append,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        (void)file_.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    else
        qCWarning(lcCore) << "log file" << path_ << "not opened:" << file_.errorString();
}

LogFile::~LogFile()
{
    WriteLogLine(QStringLiteral("close programm\n"));
    file_.close();
}

void LogFile::WriteLogLine(const QString& text)
{
    if (!file_.isOpen()) return;
    QByteArray line = LogLineText(text).toUtf8();
    line.append('\n');
    if (!RotateLogIfFull(file_, line.size(), rotationLimit_)) return;
    file_.write(line);
    file_.flush();
}

void LogFile::DumpItemProperties(const ItemRecord& record)
{
    const int count = std::min<int>(record.FieldCount(), static_cast<int>(record.values.size()));
    for (int i = 0; i < count; ++i) {
        const QString& name = record.names[i];
        const ItemValue& value = record.values[static_cast<std::size_t>(i)];
        if (const auto* n = std::get_if<std::int32_t>(&value)) {
            // One arg() call: a chained one would expand a "%2" inside the peer's field name.
            WriteLogLine(QStringLiteral("\t- %1 - %2").arg(name, QString::number(*n)));
        } else if (const auto* s = std::get_if<QString>(&value)) {
            QString line = QStringLiteral("\t- %1 - %2").arg(name, *s);
            line.replace(QLatin1Char('\n'), QLatin1Char(' '));
            WriteLogLine(line);
        }
    }
}
