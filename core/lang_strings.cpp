#include "core/lang_strings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <map>

namespace {

struct StringTable {
    std::map<int, QString> strings;
    QList<TrayMenuCommand> menu;
    int menuResource = 0;
};

StringTable ReadTable(std::uint32_t language)
{
    StringTable table;
    QFile file(QStringLiteral(":/strings/%1.json").arg(language));
    if (!file.open(QIODevice::ReadOnly)) return table;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject strings = root.value(QStringLiteral("strings")).toObject();
    for (auto it = strings.begin(); it != strings.end(); ++it) {
        bool ok = false;
        const int id = it.key().toInt(&ok);
        if (ok) table.strings[id] = it.value().toString();
    }
    for (const QJsonValue& entry : root.value(QStringLiteral("menu")).toArray()) {
        const QJsonObject item = entry.toObject();
        table.menu.append(
            {item.value(QStringLiteral("command")).toInt(), item.value(QStringLiteral("text")).toString()});
    }
    table.menuResource = root.value(QStringLiteral("trayMenu")).toInt();
    return table;
}

}  // namespace

// The tables live in a static library; naming the resource here keeps the linker from
// dropping it.
static std::map<std::uint32_t, StringTable> LoadAllTables()
{
    Q_INIT_RESOURCE(strings);
    std::map<std::uint32_t, StringTable> tables;
    for (std::uint32_t language : kInterfaceLanguages) tables[language] = ReadTable(language);
    return tables;
}

namespace {

const StringTable& Table(std::uint32_t language)
{
    static const std::map<std::uint32_t, StringTable> tables = LoadAllTables();
    return tables.at(TableLanguage(language));
}

}  // namespace

bool HasStringTable(std::uint32_t language)
{
    return std::find(kInterfaceLanguages.begin(), kInterfaceLanguages.end(), language) !=
           kInterfaceLanguages.end();
}

std::uint32_t TableLanguage(std::uint32_t language)
{
    return HasStringTable(language) ? language : kFallbackLanguage;
}

bool LoadLangString(std::uint32_t language, int id, QString& text)
{
    const StringTable& table = Table(language);
    const auto it = table.strings.find(id);
    if (it == table.strings.end()) return false;
    text = it->second;
    return true;
}

QString LoadLangString(std::uint32_t language, int id)
{
    QString text;
    LoadLangString(language, id, text);
    return text;
}

QList<int> StringIds(std::uint32_t language)
{
    QList<int> ids;
    for (const auto& [id, text] : Table(language).strings) ids.append(id);
    return ids;
}

QList<TrayMenuCommand> LoadTrayMenu(std::uint32_t language)
{
    return Table(language).menu;
}

int TrayMenuResourceId(std::uint32_t language)
{
    return Table(language).menuResource;
}
