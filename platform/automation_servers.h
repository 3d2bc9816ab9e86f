#pragma once
#include <QString>
#include <functional>
#include <memory>

// The automation servers this process can create by ProgID, in the place of the system's class
// registration. Nothing registers a server outside the tests (no Outlook runs on this
// platform), so every Outlook source reads as not installed; tests register emulations.
class AutomationObject {
public:
    virtual ~AutomationObject() = default;
};

// Starts one object of a server; throws when the server fails to start.
using AutomationFactory = std::function<std::unique_ptr<AutomationObject>()>;

void RegisterAutomationServer(const QString& progId, AutomationFactory factory);
void UnregisterAutomationServer(const QString& progId);
void UnregisterAllAutomationServers();

// A new object of the server named by `progId` (compared without case, as the system does).
// Throws AgentError when no such server is registered; a failing factory's exception passes.
std::unique_ptr<AutomationObject> CreateAutomationObject(const QString& progId);

// Whether an object can be created: creates one and releases it at once. A server that fails
// to start counts as absent.
bool CanCreateAutomationObject(const QString& progId);
