#include "platform/browser_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>

#include "common/errors.h"
#include "platform/diagnostics.h"
#include "platform/known_folders.h"
#include "platform/regular_file_read.h"

namespace {

constexpr qint64 kMaxIniBytes = 1024 * 1024;

// One section of an ini file: its name and its keys in order (later duplicates win).
struct IniSection {
    QString name;
    QHash<QString, QString> values;
};

QList<IniSection> ParseIni(const QByteArray& bytes)
{
    QList<IniSection> sections;
    QTextStream in(bytes);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            sections.append({line.mid(1, line.size() - 2), {}});
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || sections.isEmpty()) continue;
        sections.last().values.insert(line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed());
    }
    return sections;
}

// A file that is missing, not a regular file (a FIFO must not stall the agent) or too long reads
// as no sections.
QList<IniSection> ReadIni(const QString& path)
{
    try {
        return ParseIni(ReadRegularFile(path, kMaxIniBytes).value_or(QByteArray()));
    } catch (const AgentError& e) {
        qCWarning(lcPlatform) << e.what();
        return {};
    }
}

bool IsProfileSection(const IniSection& s)
{
    return s.name.startsWith(QLatin1String("Profile"), Qt::CaseInsensitive) &&
           !s.values.value(QStringLiteral("path")).isEmpty();
}

// A profile's folder: below the Firefox folder unless the section says its path is absolute.
QString ProfileFolder(const QString& base, const IniSection& s)
{
    const QString path = s.values.value(QStringLiteral("path"));
    const bool relative =
        s.values.value(QStringLiteral("isrelative"), QStringLiteral("1")) != QLatin1String("0");
    return QDir::cleanPath(relative ? base + QLatin1Char('/') + path : path);
}

QString HomePath(const QString& relative)
{
    const QString home = KnownFolderPath(KnownFolder::Home);
    return home.isEmpty() ? QString() : home + QLatin1Char('/') + relative;
}

bool IsDir(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// The profile folders that profiles.ini lists, relative ones below the Firefox folder.
QStringList FirefoxProfileDirs(const QString& base, const QList<IniSection>& ini)
{
    QStringList dirs;
    for (const IniSection& s : ini)
        if (IsProfileSection(s)) dirs.append(ProfileFolder(base, s));
    return dirs;
}

std::uint32_t FirefoxVersion(const QString& base, const QList<IniSection>& ini)
{
    std::uint32_t newest = 0;
    for (const QString& dir : FirefoxProfileDirs(base, ini)) {
        for (const IniSection& s : ReadIni(dir + QStringLiteral("/compatibility.ini")))
            if (s.name.compare(QLatin1String("Compatibility"), Qt::CaseInsensitive) == 0)
                newest = std::max(newest, ParseProgramVersion(s.values.value(QStringLiteral("lastversion"))));
    }
    return newest;
}

std::uint32_t OperaVersion(const QString& profile)
{
    const QString prefs = profile + QStringLiteral("/operaprefs.ini");
    if (!QFileInfo::exists(prefs)) return 0;
    for (const IniSection& s : ReadIni(prefs)) {
        const QString version = s.values.value(QStringLiteral("newest used version"));
        if (!version.isEmpty())
            if (std::uint32_t v = ParseProgramVersion(version)) return v;
    }
    return 10u << 16;
}

}  // namespace

std::uint32_t ParseProgramVersion(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*(\\d+)(?:\\.(\\d+))?"));
    const auto m = number.match(text);
    if (!m.hasMatch()) return 0;
    const std::uint32_t major = std::min<std::uint32_t>(m.captured(1).left(5).toUInt(), 0xFFFF);
    const std::uint32_t minor = std::min<std::uint32_t>(m.captured(2).left(5).toUInt(), 0xFFFF);
    return major << 16 | minor;
}

QString FirefoxDataDir()
{
    return HomePath(QStringLiteral(".mozilla/firefox"));
}

QString ChooseFirefoxProfile(const QString& dataDir, const QByteArray& profilesIni)
{
    const QList<IniSection> ini = ParseIni(profilesIni);
    QList<const IniSection*> profiles;
    for (const IniSection& s : ini)
        if (IsProfileSection(s)) profiles.append(&s);

    // Since Firefox 67 each installation remembers its own default profile; the first one is
    // the installation that wrote the file first.
    for (const IniSection& s : ini) {
        if (!s.name.startsWith(QLatin1String("Install"), Qt::CaseInsensitive)) continue;
        const QString named = s.values.value(QStringLiteral("default"));
        if (named.isEmpty()) continue;
        for (const IniSection* p : profiles)
            if (p->values.value(QStringLiteral("path")) == named) return ProfileFolder(dataDir, *p);
        return QDir::cleanPath(QDir::isAbsolutePath(named) ? named : dataDir + QLatin1Char('/') + named);
    }
    for (const IniSection* p : profiles)
        if (p->values.value(QStringLiteral("default")) == QLatin1String("1")) return ProfileFolder(dataDir, *p);
    if (profiles.size() == 1) return ProfileFolder(dataDir, *profiles.front());
    return {};
}

QString FirefoxProfileDir()
{
    const QString firefox = FirefoxDataDir();
    if (firefox.isEmpty()) return {};
    const QString profilesIni = firefox + QStringLiteral("/profiles.ini");
    if (!QFileInfo(profilesIni).exists()) return {};
    // The reason a profiles.ini that is there cannot be read reaches the caller's log.
    return ChooseFirefoxProfile(firefox, ReadExistingRegularFile(profilesIni, kMaxIniBytes));
}

QString FirefoxPlacesPath()
{
    const QString profile = FirefoxProfileDir();
    return profile.isEmpty() ? QString() : profile + QStringLiteral("/places.sqlite");
}

QString ChromeBookmarksPath()
{
    const QString config = KnownFolderPath(KnownFolder::Config);
    if (config.isEmpty()) return {};
    const QString chrome = config + QStringLiteral("/google-chrome");
    const QString chromium = config + QStringLiteral("/chromium");
    const QString profile = !IsDir(chrome) && IsDir(chromium) ? chromium : chrome;
    return profile + QStringLiteral("/Default/Bookmarks");
}

QString OperaProfileDir()
{
    return HomePath(QStringLiteral(".opera"));
}

QString SafariBookmarksPath()
{
    return KnownFolderPath(KnownFolder::AppData) + QStringLiteral("/Apple Computer/Safari/Bookmarks.plist");
}

BrowserFootprint ProbeBrowsers()
{
    BrowserFootprint found;
    const QString firefox = FirefoxDataDir();
    const QString profilesIni = firefox + QStringLiteral("/profiles.ini");
    if (!firefox.isEmpty() && QFileInfo(profilesIni).isFile()) {
        found.firefoxProfiles = true;
        found.firefoxVersion = FirefoxVersion(firefox, ReadIni(profilesIni));
    }
    const QString opera = OperaProfileDir();
    if (IsDir(opera)) {
        found.operaProfile = true;
        found.operaVersion = OperaVersion(opera);
    }
    const QString chromeBookmarks = ChromeBookmarksPath();
    // The browser's own folder, two levels above its bookmarks file.
    found.chromeProfile =
        !chromeBookmarks.isEmpty() && IsDir(QFileInfo(QFileInfo(chromeBookmarks).path()).path());
    found.internetExplorerFavorites = IsDir(KnownFolderPath(KnownFolder::Favorites));
    found.safariData = IsDir(QFileInfo(SafariBookmarksPath()).path());
    return found;
}
