#pragma once
// A throw-away home folder for one test. While a TempHome lives, HOME and the XDG base folders
// point into a fresh temporary folder, so everything the agent reads and writes through
// platform/known_folders.h (its data folder, the emulated registry, autostart entries, the
// runtime folder) stays inside it:
//
//   HOME            <root>
//   XDG_CONFIG_HOME <root>/.config
//   XDG_DATA_HOME   <root>/.local/share
//   XDG_CACHE_HOME  <root>/.cache
//   XDG_RUNTIME_DIR <root>/runtime   (mode 0700, as the session's runtime folder is)
//
// The destructor puts the variables back as they were (unset when they were unset) and
// deletes the folder. One TempHome at a time: the variables are process-wide.
//
//   TempHome home;
//   home.WriteFile(".config/TwinLark/registry/HKEY_CURRENT_USER.reg", "...");
//   ... code under test ...
//   EXPECT_EQ(home.ReadFile(".local/share/TwinLark/iplist.dat"), "10.0.0.1\r\n");

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <optional>
#include <utility>
#include <vector>

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    // The home folder itself.
    QString Root() const { return dir_.path(); }
    // `relative` below the home folder ("" is the home folder).
    QString Path(const QString& relative) const;
    // Writes (replaces) a file, creating its folders; fails the test when it cannot.
    void WriteFile(const QString& relative, const QByteArray& bytes) const;
    // The whole file, or nothing when it cannot be read.
    std::optional<QByteArray> ReadFile(const QString& relative) const;
    bool Exists(const QString& relative) const;

private:
    QTemporaryDir dir_;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved_;
};
