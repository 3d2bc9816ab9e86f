#include "platform/known_folders.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <pwd.h>
#include <unistd.h>

#include "common/errors.h"

namespace {

QString Env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString HomeDir()
{
    QString home = Env("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return QDir::cleanPath(QString::fromLocal8Bit(pw->pw_dir));
    return {};
}

QString XdgBase(const char* var, const char* fallbackBelowHome)
{
    QString value = Env(var);
    // The XDG rules ignore relative values.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    QString home = HomeDir();
    return home.isEmpty() ? QString() : home + QLatin1Char('/') + QLatin1String(fallbackBelowHome);
}

// A folder from ~/.config/user-dirs.dirs (XDG_MUSIC_DIR="$HOME/Music"), else the default.
QString XdgUserDir(const char* key, const char* fallbackName)
{
    const QString home = HomeDir();
    QFile file(XdgBase("XDG_CONFIG_HOME", ".config") + QStringLiteral("/user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        const QString prefix = QLatin1String(key) + QLatin1Char('=');
        while (!in.atEnd()) {
            QString line = in.readLine().trimmed();
            if (!line.startsWith(prefix))
                continue;
            QString value = line.mid(prefix.size());
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            value.replace(QStringLiteral("$HOME"), home);
            if (QDir::isAbsolutePath(value))
                return QDir::cleanPath(value);
        }
    }
    return home.isEmpty() ? QString() : home + QLatin1Char('/') + QLatin1String(fallbackName);
}

}  // namespace

QString KnownFolderPath(KnownFolder folder)
{
    switch (folder) {
    case KnownFolder::Home: return HomeDir();
    case KnownFolder::AppData:
    case KnownFolder::LocalAppData: return XdgBase("XDG_DATA_HOME", ".local/share");
    case KnownFolder::Config: return XdgBase("XDG_CONFIG_HOME", ".config");
    case KnownFolder::Music: return XdgUserDir("XDG_MUSIC_DIR", "Music");
    case KnownFolder::Documents: return XdgUserDir("XDG_DOCUMENTS_DIR", "Documents");
    case KnownFolder::Desktop: return XdgUserDir("XDG_DESKTOP_DIR", "Desktop");
    case KnownFolder::Favorites: { QString h = HomeDir(); return h.isEmpty() ? h : h + QStringLiteral("/Favorites"); }
    case KnownFolder::Contacts: { QString h = HomeDir(); return h.isEmpty() ? h : h + QStringLiteral("/Contacts"); }
    case KnownFolder::RuntimeDir: {
        QString dir = Env("XDG_RUNTIME_DIR");
        return dir.isEmpty() || !QDir::isAbsolutePath(dir) ? QStringLiteral("/tmp") : QDir::cleanPath(dir);
    }
    }
    return {};
}

QString AgentDataDir()
{
    const QString appData = KnownFolderPath(KnownFolder::AppData);
    if (appData.isEmpty())
        throw AgentError("the application-data folder cannot be found");
    const QString dir = appData + QStringLiteral("/TwinLark");
    if (!QDir().mkpath(dir))
        throw AgentError("cannot create " + dir.toStdString());
    // It holds item dumps and machine identifiers: the user's alone.
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    return dir;
}
