#pragma once
// The calling convention of the maker's updater library "libNorvane.so": plain C exports,
// texts, truth values and numbers passed as small tagged values. The agent and the test
// double of the library share this header; the library itself is not part of the agent.

#include <cstdint>

extern "C" {

enum NorvaneValueType : std::uint16_t {
    kNorvaneInt = 3,    // int32 in `number`
    kNorvaneText = 8,   // zero-terminated UTF-16 in `text`, valid during the call
    kNorvaneBool = 11,  // 0 false, -1 true in `truth`
};

struct NorvaneValue {
    std::uint16_t type;
    std::uint16_t reserved[3];
    union {
        std::int32_t number;
        std::int16_t truth;
        const char16_t* text;
    };
};

// Callbacks the agent hands to the library; each returns 0 (false).
typedef int (*NorvaneCloseApplicationCallback)(void* context);
typedef int (*NorvaneNoUpdatesCallback)(void* context);
typedef int (*NorvaneErrorCallback)(int errorCode, void* context);

// The exports, looked up by these names.
typedef int (*NorvaneSetOnCloseApplication)(NorvaneCloseApplicationCallback callback, void* context);
typedef int (*NorvaneSetOnNoUpdatesAvailable)(NorvaneNoUpdatesCallback callback, void* context);
typedef int (*NorvaneSetOnError)(NorvaneErrorCallback callback, void* context);
typedef int (*NorvaneSetParentWnd)(std::uintptr_t window);
typedef int (*NorvaneInit)(NorvaneValue first, NorvaneValue settingsAddress);
typedef int (*NorvaneSetValue)(NorvaneValue value);  // SetProductName, SetLanguage, ...
typedef int (*NorvaneAction)(void);                  // Check, CheckManual, Close

}  // extern "C"

// Update_Init's answers that change what the agent does.
inline constexpr int kNorvaneInitEndAgent = 1;
inline constexpr int kNorvaneInitSkipSetup = -1;
