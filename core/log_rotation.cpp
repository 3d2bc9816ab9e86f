#include "core/log_rotation.h"

#include <cstdio>

bool RotateLogIfFull(QFile& file, qint64 incoming, qint64 limit)
{
    if (!file.isOpen() || file.size() + incoming <= limit || file.size() == 0) return true;
    const QString path = file.fileName();
    file.close();
    // rename() replaces the previous ".1" in one step.
    (void)std::rename(QFile::encodeName(path).constData(), QFile::encodeName(path + QStringLiteral(".1")).constData());
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate, ownerOnly);
}
