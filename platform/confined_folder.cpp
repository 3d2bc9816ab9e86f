#include "platform/confined_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/errors.h"
#include "platform/local_name_codec.h"
#include "platform/replace_user_file.h"

namespace {

std::string Text(const QString& s)
{
    return s.left(300).toStdString();
}

bool Exists(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace

ConfinedFolder::ConfinedFolder(const QString& root) : root_(QDir::cleanPath(QDir(root).absolutePath())) {}

QStringList ConfinedFolder::SplitRelativePath(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (p.isEmpty()) return {};
    const auto refuse = [&](const char* why) {
        throw AgentError(std::string("refused path (") + why + "): \"" + Text(path) + "\"");
    };
    if (p.startsWith(QLatin1Char('/'))) refuse("absolute");
    if (p.contains(QChar(0))) refuse("NUL character");
    // It would become U+FFFD on disk: two different paths would meet in one folder.
    if (HasUnpairedSurrogate(p)) refuse("unpaired UTF-16 surrogate");
    if (p.endsWith(QLatin1Char('/'))) p.chop(1);
    const QStringList names = p.split(QLatin1Char('/'));
    if (names.first().size() >= 2 && names.first()[1] == QLatin1Char(':')) refuse("drive");
    for (const QString& name : names) {
        if (name.isEmpty()) refuse("empty name");
        if (name == QLatin1String(".") || name == QLatin1String("..")) refuse("dot name");
    }
    return names;
}

void ConfinedFolder::RequireNoLinkOut(const QString& path) const
{
    // Compared where the links lead: the root itself may be reached through a link.
    const QString realRoot = QFileInfo(root_).canonicalFilePath();
    if (realRoot.isEmpty()) return;  // no root yet: nothing below it to lead anywhere
    QString prefix = root_;
    for (const QString& name : path.mid(root_.size() + 1).split(QLatin1Char('/'))) {
        prefix += QLatin1Char('/') + name;
        if (!Exists(prefix)) return;
        const QString real = QFileInfo(prefix).canonicalFilePath();
        if (real.isEmpty() || !real.startsWith(realRoot + QLatin1Char('/')))
            throw AgentError("refused a path that a link leads out of " + Text(root_) + ": " + Text(prefix));
    }
}

QString ConfinedFolder::Resolve(const QStringList& names) const
{
    QString path = root_;
    for (const QString& name : names) {
        const QStringList checked = SplitRelativePath(name);
        if (checked.size() != 1) throw AgentError("refused name \"" + Text(name) + "\"");
        path += QLatin1Char('/') + name;
    }
    if (!names.isEmpty()) RequireNoLinkOut(path);
    return path;
}

QStringList ConfinedFolder::NamesOf(const QString& path) const
{
    if (path.size() <= root_.size() + 1 || !path.startsWith(root_) || path[root_.size()] != QLatin1Char('/'))
        throw AgentError("not below " + Text(root_) + ": " + Text(path));
    const QStringList names = path.mid(root_.size() + 1).split(QLatin1Char('/'));
    Resolve(names);
    return names;
}

QString ConfinedFolder::MakeFolders(const QStringList& names) const
{
    Resolve(names);
    QDir().mkpath(root_);
    QString folder = root_;
    for (const QString& name : names) {
        folder += QLatin1Char('/') + name;
        QDir().mkdir(folder);
    }
    // A folder made just now by someone else as a link is caught here.
    if (!names.isEmpty()) RequireNoLinkOut(folder);
    return folder;
}

QString ConfinedFolder::FreeFileName(const QString& folder, const QString& stem, const QString& ending)
{
    QString candidate = folder + QLatin1Char('/') + stem + ending;
    for (int n = 1; Exists(candidate); ++n) {
        if (n > 100000) throw AgentError("no free file name for " + Text(candidate));
        candidate = folder + QLatin1Char('/') + stem + QStringLiteral(" (%1)").arg(n) + ending;
    }
    return candidate;
}

void ConfinedFolder::WriteNewFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw AgentError("cannot create " + Text(path) + ": " + Text(file.errorString()));
    const bool written = file.write(content) == content.size() && file.flush() && ::fsync(file.handle()) == 0;
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        file.remove();
        throw AgentError("cannot write " + Text(path));
    }
}

void ConfinedFolder::ReplaceFile(const QString& path, const QByteArray& content, mode_t mode)
{
    ReplaceUserFile(path, content, LinkAtPath::Replace, mode);
}
