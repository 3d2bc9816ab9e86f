#pragma once
// Sets (or unsets) an environment variable for one scope and puts the old state back.
//
//   ScopedEnv lib("TWINLARK_DNSSD_LIBRARY", TWINLARK_FAKE_DNSSD_LIBRARY);

#include <QByteArray>
#include <QtGlobal>
#include <optional>

class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            qputenv(name_, *old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> old_;
};
