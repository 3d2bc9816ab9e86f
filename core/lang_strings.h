#pragma once
// The interface texts and tray menus in the agent's seven languages, compiled into the
// program. Non-widget: the server, a window-less agent and the tests read them too.

#include <QList>
#include <QString>
#include <array>
#include <cstdint>

// The languages that have their own string table and tray menu (Windows language ids).
inline constexpr std::array<std::uint32_t, 7> kInterfaceLanguages = {1031, 1033, 1036, 1040,
                                                                     1041, 1049, 3082};
// The language whose texts stand in for a language without a table.
inline constexpr std::uint32_t kFallbackLanguage = 1033;

// Whether the language has its own table.
bool HasStringTable(std::uint32_t language);
// The table actually used for a language: its own, or English for any other language, so a
// stray "langID" never leaves the window without texts or the tray without a menu.
std::uint32_t TableLanguage(std::uint32_t language);

// Reads string `id` in the language's table; false (and `text` untouched) when that table
// has no such string.
bool LoadLangString(std::uint32_t language, int id, QString& text);
// The same as a value: empty when the string is missing.
QString LoadLangString(std::uint32_t language, int id);

// The string ids a table holds, in ascending order.
QList<int> StringIds(std::uint32_t language);

// One command of the tray menu.
struct TrayMenuCommand {
    int command = 0;
    QString text;
};
// The tray menu of the language's table, in menu order.
QList<TrayMenuCommand> LoadTrayMenu(std::uint32_t language);
// The number of the menu resource that holds that menu (for example 149 for English).
int TrayMenuResourceId(std::uint32_t language);

// Tray menu commands.
inline constexpr int kCmdEnable = 32771;
inline constexpr int kCmdDisable = 32772;
inline constexpr int kCmdSettings = 32773;
inline constexpr int kCmdAbout = 32774;
inline constexpr int kCmdExit = 32775;
inline constexpr int kCmdUserManual = 32776;
inline constexpr int kCmdCheckForUpdates = 32779;
