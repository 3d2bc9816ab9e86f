#include "platform/automation_servers.h"

#include <QHash>
#include <mutex>

#include "common/errors.h"

namespace {

struct ServerTable {
    std::mutex mutex;
    QHash<QString, AutomationFactory> factories;
};

ServerTable& Table()
{
    static ServerTable table;
    return table;
}

QString Key(const QString& progId)
{
    return progId.toLower();
}

}  // namespace

void RegisterAutomationServer(const QString& progId, AutomationFactory factory)
{
    std::lock_guard lock(Table().mutex);
    Table().factories.insert(Key(progId), std::move(factory));
}

void UnregisterAutomationServer(const QString& progId)
{
    std::lock_guard lock(Table().mutex);
    Table().factories.remove(Key(progId));
}

void UnregisterAllAutomationServers()
{
    std::lock_guard lock(Table().mutex);
    Table().factories.clear();
}

std::shared_ptr<AutomationObject> CreateAutomationObject(const QString& progId)
{
    AutomationFactory factory;
    {
        std::lock_guard lock(Table().mutex);
        factory = Table().factories.value(Key(progId));
    }
    if (!factory) throw AgentError("no automation server is registered as " + progId.toStdString());
    auto object = factory();
    if (!object) throw AgentError("the automation server " + progId.toStdString() + " did not start");
    return object;
}

bool CanCreateAutomationObject(const QString& progId)
{
    try {
        return CreateAutomationObject(progId) != nullptr;
    } catch (...) {
        return false;
    }
}
