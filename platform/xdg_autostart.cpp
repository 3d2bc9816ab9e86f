#include "platform/xdg_autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/atomic_file.h"
#include "platform/known_folders.h"

namespace {

// The escapes of a desktop entry's string values.
QString EscapeString(const QString& text)
{
    QString out;
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        default: out += c;
        }
    }
    return out;
}

// One argument of an Exec line: inside double quotes, " ` $ \ take a backslash, and a literal
// percent sign is doubled so it is not read as a field code. The string escapes apply on top.
QString QuoteExecArgument(const QString& argument)
{
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    return EscapeString(quoted);
}

}  // namespace

QString XdgAutostartPath(const QString& entryName)
{
    const QString config = KnownFolderPath(KnownFolder::Config);
    if (config.isEmpty())
        return {};
    return config + QStringLiteral("/autostart/") + entryName + QStringLiteral(".desktop");
}

QByteArray XdgAutostartEntry(const QString& displayName, const QString& program)
{
    QString text = QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + EscapeString(displayName) + u'\n';
    text += QStringLiteral("Exec=") + QuoteExecArgument(program) + u'\n';
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

bool WriteXdgAutostart(const QString& entryName, const QString& displayName, const QString& program)
{
    const QString path = XdgAutostartPath(entryName);
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    return TryWriteFileAtomically(path, XdgAutostartEntry(displayName, program), 0644);
}

bool RemoveXdgAutostart(const QString& entryName)
{
    const QString path = XdgAutostartPath(entryName);
    if (path.isEmpty())
        return false;
    return !QFileInfo::exists(path) || QFile::remove(path);
}
