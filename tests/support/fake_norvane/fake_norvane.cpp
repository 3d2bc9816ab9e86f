// A stand-in for the updater library: records every call, one line each, in the file named
// by FAKE_NORVANE_LOG, answers Update_Init with FAKE_NORVANE_INIT (default 0), and calls the
// agent back when told to:
//   FAKE_NORVANE_CLOSE_ON=<export>      calls the close-application callback inside that export
//   FAKE_NORVANE_NO_UPDATES_ON=<export> calls the no-updates callback inside that export
//   FAKE_NORVANE_ERROR_ON=<export>:<code> calls the error callback with that code
// Built a second time with FAKE_NORVANE_PARTIAL, lacking Update_SetLanguage and Update_Check.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/runtime/norvane_api.h"

namespace {

NorvaneCloseApplicationCallback gClose = nullptr;
void* gCloseContext = nullptr;
NorvaneNoUpdatesCallback gNoUpdates = nullptr;
void* gNoUpdatesContext = nullptr;
NorvaneErrorCallback gError = nullptr;
void* gErrorContext = nullptr;

std::string Describe(const NorvaneValue& value)
{
    switch (value.type) {
        case kNorvaneText: {
            std::string text = "text:";
            for (const char16_t* p = value.text; p && *p; ++p)
                text.push_back(*p < 128 ? static_cast<char>(*p) : '?');
            return text;
        }
        case kNorvaneInt:
            return "int:" + std::to_string(value.number);
        case kNorvaneBool:
            return "bool:" + std::to_string(value.truth);
        default:
            return "type:" + std::to_string(value.type);
    }
}

void Record(const std::string& line)
{
    const char* path = std::getenv("FAKE_NORVANE_LOG");
    if (!path) return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

bool Named(const char* variable, const char* exportName)
{
    const char* value = std::getenv(variable);
    return value && std::strncmp(value, exportName, std::strlen(exportName)) == 0 &&
           (value[std::strlen(exportName)] == '\0' || value[std::strlen(exportName)] == ':');
}

// Runs the callbacks the environment asks for inside `exportName`.
void CallBack(const char* exportName)
{
    if (Named("FAKE_NORVANE_NO_UPDATES_ON", exportName) && gNoUpdates) gNoUpdates(gNoUpdatesContext);
    if (Named("FAKE_NORVANE_ERROR_ON", exportName) && gError) {
        const char* value = std::getenv("FAKE_NORVANE_ERROR_ON");
        gError(std::atoi(std::strchr(value, ':') ? std::strchr(value, ':') + 1 : "0"), gErrorContext);
    }
    if (Named("FAKE_NORVANE_CLOSE_ON", exportName) && gClose) gClose(gCloseContext);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int Set_OnCloseApplication(NorvaneCloseApplicationCallback cb,
                                                                  void* ctx)
{
    gClose = cb;
    gCloseContext = ctx;
    Record(std::string("Set_OnCloseApplication(") + (ctx ? "context" : "none") + ")");
    return 1;
}

__attribute__((visibility("default"))) int Set_OnNoUpdatesAvailable(NorvaneNoUpdatesCallback cb, void* ctx)
{
    gNoUpdates = cb;
    gNoUpdatesContext = ctx;
    Record(std::string("Set_OnNoUpdatesAvailable(") + (ctx ? "context" : "none") + ")");
    return 1;
}

__attribute__((visibility("default"))) int Set_OnError(NorvaneErrorCallback cb, void* ctx)
{
    gError = cb;
    gErrorContext = ctx;
    Record(std::string("Set_OnError(") + (ctx ? "context" : "none") + ")");
    return 1;
}

__attribute__((visibility("default"))) int Update_SetParentWnd(std::uintptr_t window)
{
    Record("Update_SetParentWnd");
    return 1;
}

__attribute__((visibility("default"))) int Update_Init(NorvaneValue first, NorvaneValue address)
{
    Record("Update_Init(" + Describe(first) + "," + Describe(address) + ")");
    const char* result = std::getenv("FAKE_NORVANE_INIT");
    return result ? std::atoi(result) : 0;
}

#define FAKE_SETTER(name)                                               \
    __attribute__((visibility("default"))) int name(NorvaneValue value) \
    {                                                                   \
        Record(std::string(#name "(") + Describe(value) + ")");         \
        return 1;                                                       \
    }

#define FAKE_ACTION(name)                                 \
    __attribute__((visibility("default"))) int name(void) \
    {                                                     \
        Record(#name);                                    \
        CallBack(#name);                                  \
        return 1;                                         \
    }

FAKE_SETTER(Update_SetProductName)
FAKE_SETTER(Update_SetSendStats)
FAKE_SETTER(Update_SetWhenCheckForUpdate)
FAKE_SETTER(Update_SetVisibleButtons)
FAKE_ACTION(Update_CheckManual)
FAKE_ACTION(Update_Close)
#ifndef FAKE_NORVANE_PARTIAL
FAKE_SETTER(Update_SetLanguage)
FAKE_ACTION(Update_Check)
#endif

}  // extern "C"
