#include "platform/process_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray ReadSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // comm is at most 16 bytes; only the first argument of cmdline is wanted.
    return file.read(4096);
}

}  // namespace

QStringList RunningProgramNames(const QString& procRoot)
{
    QStringList names;
    const QDir proc(procRoot);
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toULongLong(&numeric);
        if (!numeric)
            continue;
        const QString dir = procRoot + QLatin1Char('/') + entry;
        const QString comm = QString::fromUtf8(ReadSmallFile(dir + QStringLiteral("/comm"))).trimmed().toLower();
        if (!comm.isEmpty())
            names.append(comm);
        const QByteArray cmdline = ReadSmallFile(dir + QStringLiteral("/cmdline"));
        const QByteArray first = cmdline.left(cmdline.indexOf('\0') < 0 ? cmdline.size() : cmdline.indexOf('\0'));
        if (!first.isEmpty()) {
            const QString program = QFileInfo(QString::fromUtf8(first)).fileName().toLower();
            if (!program.isEmpty() && program != comm)
                names.append(program);
        }
    }
    return names;
}
