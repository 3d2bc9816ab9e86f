#include "platform/process_list.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

QByteArray ReadSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // comm is at most 16 bytes; only the first argument of cmdline is wanted.
    return file.read(4096);
}

// The file name at the end of a program path; programs under Wine keep their Windows path.
QString ProgramName(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

}  // namespace

QStringList RunningProgramNames(const QString& procRoot)
{
    QStringList names;
    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toULongLong(&numeric);
        if (!numeric) continue;
        const QString dir = procRoot + QLatin1Char('/') + entry;
        QByteArray comm = ReadSmallFile(dir + QStringLiteral("/comm"));
        if (comm.endsWith('\n')) comm.chop(1);
        const QString kernelName = QString::fromUtf8(comm).toLower();
        if (!kernelName.isEmpty()) names.append(kernelName);
        const QByteArray cmdline = ReadSmallFile(dir + QStringLiteral("/cmdline"));
        const qsizetype end = cmdline.indexOf('\0');
        const QString program =
            ProgramName(QString::fromUtf8(end < 0 ? cmdline : cmdline.left(end))).toLower();
        if (!program.isEmpty() && program != kernelName) names.append(program);
    }
    return names;
}
