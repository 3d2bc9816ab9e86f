#include "support/temp_home.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Variable {
    const char* name;
    const char* below;  // below the home folder
};

constexpr Variable kVariables[] = {
    {"HOME", ""},
    {"XDG_CONFIG_HOME", ".config"},
    {"XDG_DATA_HOME", ".local/share"},
    {"XDG_CACHE_HOME", ".cache"},
    {"XDG_RUNTIME_DIR", "runtime"},
};

}  // namespace

TempHome::TempHome()
{
    if (!dir_.isValid())
        ADD_FAILURE() << "cannot create a temporary home: " << dir_.errorString().toStdString();
    for (const Variable& v : kVariables) {
        saved_.emplace_back(v.name, qEnvironmentVariableIsSet(v.name) ? std::optional(qgetenv(v.name))
                                                                       : std::nullopt);
        const QString path = Path(QString::fromLatin1(v.below));
        QDir().mkpath(path);
        qputenv(v.name, QFile::encodeName(path));
    }
    ::chmod(QFile::encodeName(Path(QStringLiteral("runtime"))).constData(), 0700);
}

TempHome::~TempHome()
{
    for (const auto& [name, value] : saved_) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
}

QString TempHome::Path(const QString& relative) const
{
    return relative.isEmpty() ? dir_.path() : dir_.path() + u'/' + relative;
}

void TempHome::WriteFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

std::optional<QByteArray> TempHome::ReadFile(const QString& relative) const
{
    QFile file(Path(relative));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool TempHome::Exists(const QString& relative) const
{
    return QFileInfo::exists(Path(relative));
}
