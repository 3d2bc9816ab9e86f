#include "core/lang_strings.h"

#include <gtest/gtest.h>

namespace {

const QList<int> kMenuCommands = {kCmdEnable,          kCmdDisable, kCmdSettings, kCmdUserManual,
                                  kCmdCheckForUpdates, kCmdAbout,   kCmdExit};

QList<int> AllStringIds()
{
    QList<int> ids;
    for (int id = 103; id <= 137; ++id) ids.append(id);
    return ids;
}

TEST(LangStrings, EveryLanguageHasEveryStringAndMenuCommand)
{
    const std::map<std::uint32_t, int> menuResources = {{1033, 149}, {1031, 150}, {1036, 131}, {1040, 153},
                                                        {1041, 152}, {1049, 148}, {3082, 151}};
    for (std::uint32_t language : kInterfaceLanguages) {
        SCOPED_TRACE(language);
        EXPECT_EQ(StringIds(language), AllStringIds());
        for (int id : AllStringIds())
            EXPECT_FALSE(LoadLangString(language, id).trimmed().isEmpty()) << "string " << id;
        QList<int> commands;
        for (const TrayMenuCommand& entry : LoadTrayMenu(language)) {
            commands.append(entry.command);
            EXPECT_FALSE(entry.text.isEmpty()) << "command " << entry.command;
        }
        EXPECT_EQ(commands, kMenuCommands);
        EXPECT_EQ(TrayMenuResourceId(language), menuResources.at(language));
        // The hidden-window balloons are two lines, as the tray shows them.
        EXPECT_EQ(LoadLangString(language, 134).count(QLatin1Char('\n')), 1);
        EXPECT_EQ(LoadLangString(language, 135).count(QLatin1Char('\n')), 1);
    }
}

TEST(LangStrings, OtherLanguagesAreTranslated)
{
    // Words that are the same in every language ("Port", "Password", the product name) aside,
    // the tables must not be English copies.
    for (std::uint32_t language : kInterfaceLanguages) {
        if (language == 1033) continue;
        SCOPED_TRACE(language);
        int same = 0;
        for (int id : AllStringIds()) same += LoadLangString(language, id) == LoadLangString(1033, id);
        EXPECT_LE(same, 3);
        int sameMenu = 0;
        const auto menu = LoadTrayMenu(language);
        const auto english = LoadTrayMenu(1033);
        for (int i = 0; i < menu.size(); ++i) sameMenu += menu[i].text == english[i].text;
        EXPECT_EQ(sameMenu, 0);
    }
}

TEST(LangStrings, TextsKeepTheirSpacesAndLineBreaks)
{
    // Texts are joined with addresses ("Connected IP " + address, "IP " + address + " is ...").
    EXPECT_EQ(LoadLangString(1033, 122), QStringLiteral("Connected IP "));
    EXPECT_EQ(LoadLangString(1033, 130), QStringLiteral(" is trying to connect"));
    EXPECT_EQ(LoadLangString(1033, 134),
              QStringLiteral("TwinLark continues working in background mode.\nStatus: Active"));
    EXPECT_EQ(LoadLangString(1049, 104), QStringLiteral("Готов к подключению"));
    EXPECT_EQ(LoadTrayMenu(1049).front().text, QStringLiteral("Включить"));
    EXPECT_EQ(LoadTrayMenu(1041).back().text, QStringLiteral("終了"));
}

TEST(LangStrings, LanguageWithoutTableFallsBackToEnglish)
{
    for (std::uint32_t language : {0u, 1050u, 2052u, 0xFFFFu}) {
        SCOPED_TRACE(language);
        EXPECT_FALSE(HasStringTable(language));
        EXPECT_EQ(TableLanguage(language), 1033u);
        EXPECT_EQ(LoadLangString(language, 104), QStringLiteral("Ready to connect"));
        ASSERT_EQ(LoadTrayMenu(language).size(), 7);
        EXPECT_EQ(LoadTrayMenu(language).back().text, QStringLiteral("Exit"));
    }
}

TEST(LangStrings, MissingStringLeavesTextAlone)
{
    QString text = QStringLiteral("template");
    EXPECT_FALSE(LoadLangString(1033, 102, text));
    EXPECT_FALSE(LoadLangString(1049, 138, text));
    EXPECT_EQ(text, QStringLiteral("template"));
    EXPECT_TRUE(LoadLangString(1036, 106, text));
    EXPECT_EQ(text, QStringLiteral("Activer"));
}

}  // namespace
