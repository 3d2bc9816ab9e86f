#pragma once
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/automation_variant.h"

// The automation servers this process can create by ProgID, in the place of the system's class
// registration. Nothing registers a server outside the tests (no Outlook runs on this
// platform), so every Outlook source reads as not installed; tests register emulations.

using DispId = std::int32_t;

// How a member is invoked (the platform's dispatch flags).
enum class InvokeKind : std::uint16_t { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// What a server reports with a DISP_E_EXCEPTION status: its own error.
struct AutomationExceptionInfo {
    std::int32_t code = 0;  // the server's error code (an HRESULT)
    QString source;
    QString description;
    QString helpFile;
    std::uint32_t helpContext = 0;
};

struct InvokeResult {
    ComStatus status = com_status::kOk;
    VariantValue result;
    AutomationExceptionInfo exception;  // filled when status is DISP_E_EXCEPTION
};

// One automation object, reached by DISPID. References to it are shared: every holder keeps it
// alive, and it goes when the last holder lets go.
class AutomationObject {
public:
    virtual ~AutomationObject() = default;
    // Arguments in their order; a property put passes the new value as its only argument.
    // An object that answers nothing knows no member.
    virtual InvokeResult Invoke(DispId dispId, InvokeKind kind, const std::vector<VariantValue>& arguments)
    {
        (void)dispId;
        (void)kind;
        (void)arguments;
        return {com_status::kMemberNotFound, {}, {}};
    }
};

// Starts one object of a server; throws or answers nothing when the server fails to start.
using AutomationFactory = std::function<std::shared_ptr<AutomationObject>()>;

void RegisterAutomationServer(const QString& progId, AutomationFactory factory);
void UnregisterAutomationServer(const QString& progId);
void UnregisterAllAutomationServers();

// A new object of the server named by `progId` (compared without case, as the system does).
// Throws AgentError when no such server is registered or it starts nothing; a failing
// factory's exception passes.
std::shared_ptr<AutomationObject> CreateAutomationObject(const QString& progId);

// Whether an object can be created: creates one and releases it at once. A server that fails
// to start counts as absent.
bool CanCreateAutomationObject(const QString& progId);
