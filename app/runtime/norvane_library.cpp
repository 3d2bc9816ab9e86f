#include "app/runtime/norvane_library.h"

#include <dlfcn.h>

#include <QFile>

namespace {

NorvaneValue TextValue(const QString& text)
{
    NorvaneValue value{};
    value.type = kNorvaneText;
    value.text = reinterpret_cast<const char16_t*>(text.utf16());
    return value;
}

NorvaneValue NumberValue(int number)
{
    NorvaneValue value{};
    value.type = kNorvaneInt;
    value.number = number;
    return value;
}

NorvaneValue TruthValue(bool truth)
{
    NorvaneValue value{};
    value.type = kNorvaneBool;
    value.truth = truth ? -1 : 0;
    return value;
}

}  // namespace

QString NorvaneLibrary::LibraryPath()
{
    const QString fromEnvironment = qEnvironmentVariable(kNorvaneLibraryVariable);
    return fromEnvironment.isEmpty() ? QString::fromLatin1(kNorvaneLibraryName) : fromEnvironment;
}

std::unique_ptr<NorvaneLibrary> NorvaneLibrary::Load(const QString& path)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    return std::unique_ptr<NorvaneLibrary>(new NorvaneLibrary(handle));
}

NorvaneLibrary::~NorvaneLibrary()
{
    ::dlclose(handle_);
}

template <typename Fn>
Fn NorvaneLibrary::Find(const char* name) const
{
    return reinterpret_cast<Fn>(::dlsym(handle_, name));
}

bool NorvaneLibrary::HasExport(const char* name) const
{
    return ::dlsym(handle_, name) != nullptr;
}

void NorvaneLibrary::SetValue(const char* name, const NorvaneValue& value)
{
    if (auto fn = Find<NorvaneSetValue>(name)) fn(value);
}

void NorvaneLibrary::RunAction(const char* name)
{
    if (auto fn = Find<NorvaneAction>(name)) fn();
}

void NorvaneLibrary::SetOnCloseApplication(NorvaneCloseApplicationCallback callback, void* context)
{
    if (auto fn = Find<NorvaneSetOnCloseApplication>("Set_OnCloseApplication")) fn(callback, context);
}

void NorvaneLibrary::SetOnNoUpdatesAvailable(NorvaneNoUpdatesCallback callback, void* context)
{
    if (auto fn = Find<NorvaneSetOnNoUpdatesAvailable>("Set_OnNoUpdatesAvailable")) fn(callback, context);
}

void NorvaneLibrary::SetOnError(NorvaneErrorCallback callback, void* context)
{
    if (auto fn = Find<NorvaneSetOnError>("Set_OnError")) fn(callback, context);
}

void NorvaneLibrary::SetParentWnd(std::uintptr_t window)
{
    if (auto fn = Find<NorvaneSetParentWnd>("Update_SetParentWnd")) fn(window);
}

int NorvaneLibrary::Init(const QString& first, const QString& settingsAddress)
{
    auto fn = Find<NorvaneInit>("Update_Init");
    return fn ? fn(TextValue(first), TextValue(settingsAddress)) : 0;
}

void NorvaneLibrary::SetProductName(const QString& name)
{
    SetValue("Update_SetProductName", TextValue(name));
}

void NorvaneLibrary::SetLanguage(const QString& language)
{
    SetValue("Update_SetLanguage", TextValue(language));
}

void NorvaneLibrary::SetSendStats(bool send)
{
    SetValue("Update_SetSendStats", TruthValue(send));
}

void NorvaneLibrary::SetWhenCheckForUpdate(int when)
{
    SetValue("Update_SetWhenCheckForUpdate", NumberValue(when));
}

void NorvaneLibrary::SetVisibleButtons(int buttons)
{
    SetValue("Update_SetVisibleButtons", NumberValue(buttons));
}

void NorvaneLibrary::Check()
{
    RunAction("Update_Check");
}

void NorvaneLibrary::CheckManual()
{
    RunAction("Update_CheckManual");
}

void NorvaneLibrary::Close()
{
    RunAction("Update_Close");
}
