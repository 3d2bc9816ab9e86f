#include "dispatch/request_facts.h"

#include "platform/system_info.h"

namespace {

// The dispatcher runs on one thread: no lock.
StoredPasswordCache& PasswordCache()
{
    static StoredPasswordCache cache;
    return cache;
}

QString& ComputerNameOfConnection()
{
    static QString name;
    return name;
}

}  // namespace

StoredPassword CurrentStoredPassword()
{
    return PasswordCache().Current();
}

QString ConnectionComputerName()
{
    QString& name = ComputerNameOfConnection();
    if (name.isEmpty()) name = ComputerName();
    return name;
}

void ForgetConnectionFacts()
{
    ComputerNameOfConnection().clear();
}
