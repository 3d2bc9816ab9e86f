#pragma once
// The updater library, loaded at run time when present. Every export is looked up by name;
// a missing export only skips its call, and a missing library leaves the agent without
// updates and nothing else.

#include <QString>
#include <cstdint>
#include <memory>

#include "app/runtime/norvane_api.h"

// Environment variable that names another library file (tests use a double).
inline constexpr char kNorvaneLibraryVariable[] = "TWINLARK_NORVANE_LIBRARY";
inline constexpr char kNorvaneLibraryName[] = "libNorvane.so";

class NorvaneLibrary {
public:
    // The file to load: the environment's choice, else the name for the library search path.
    static QString LibraryPath();
    // Loads it; nullptr when it cannot be loaded.
    static std::unique_ptr<NorvaneLibrary> Load(const QString& path = LibraryPath());
    ~NorvaneLibrary();
    NorvaneLibrary(const NorvaneLibrary&) = delete;
    NorvaneLibrary& operator=(const NorvaneLibrary&) = delete;

    bool HasExport(const char* name) const;

    void SetOnCloseApplication(NorvaneCloseApplicationCallback callback, void* context);
    void SetOnNoUpdatesAvailable(NorvaneNoUpdatesCallback callback, void* context);
    void SetOnError(NorvaneErrorCallback callback, void* context);
    void SetParentWnd(std::uintptr_t window);
    // 0 (go on) when the export is missing.
    int Init(const QString& first, const QString& settingsAddress);
    void SetProductName(const QString& name);
    void SetLanguage(const QString& language);
    void SetSendStats(bool send);
    void SetWhenCheckForUpdate(int when);
    void SetVisibleButtons(int buttons);
    void Check();
    void CheckManual();
    void Close();

private:
    explicit NorvaneLibrary(void* handle) : handle_(handle) {}
    template <typename Fn>
    Fn Find(const char* name) const;
    void SetValue(const char* name, const NorvaneValue& value);
    void RunAction(const char* name);

    void* handle_;
};
