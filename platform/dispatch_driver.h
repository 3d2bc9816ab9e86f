#pragma once
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/automation_errors.h"
#include "platform/automation_servers.h"
#include "platform/automation_variant.h"

// Holds at most one automation object and reaches its members by DISPID. Copying a driver
// shares the object (one more reference); assigning releases the object held before; release and
// destruction drop the driver's reference.
//
// A call through an empty driver does nothing: no call is made, nothing is raised, and the
// result keeps what it held (the typed getters answer their type's empty value). A failed call
// raises COleDispatchException for the server's own errors and COleException for every other
// status and for a result that does not convert to the type asked for.
//
//   DispatchDriver app;
//   if (!app.CreateDispatch("Outlook.Application")) ...
//   DispatchDriver ns = app.CallObject(0x110, {VariantValue::Text("MAPI")});
//   QString storeId = folder.GetText(0x3108);
class DispatchDriver {
public:
    DispatchDriver() = default;
    explicit DispatchDriver(std::shared_ptr<AutomationObject> object) : object_(std::move(object)) {}

    // Creates an object of the server by ProgID; false (the driver left empty) when that fails,
    // never an exception.
    bool CreateDispatch(const QString& progId) noexcept;
    void AttachDispatch(std::shared_ptr<AutomationObject> object) { object_ = std::move(object); }
    void ReleaseDispatch() { object_.reset(); }
    bool IsEmpty() const { return !object_; }
    const std::shared_ptr<AutomationObject>& Object() const { return object_; }

    // The general call. Converts the result to `resultType` (Empty: no result) into `result`.
    // False when the driver is empty (nothing done).
    bool InvokeHelper(DispId id, InvokeKind kind, VariantType resultType, VariantValue& result,
                      const std::vector<VariantValue>& arguments = {}) const;

    QString GetText(DispId id) const;
    std::int32_t GetI4(DispId id) const;
    // 1 for true, 0 for false.
    std::int32_t GetBool(DispId id) const;
    double GetDate(DispId id) const;
    DispatchDriver GetObject(DispId id) const;

    void Put(DispId id, const VariantValue& value) const;
    void PutText(DispId id, const QString& value) const { Put(id, VariantValue::Text(value)); }
    void PutI4(DispId id, std::int32_t value) const { Put(id, VariantValue::I4(value)); }
    // Any value but 0 is true.
    void PutBool(DispId id, std::int32_t value) const { Put(id, VariantValue::Bool(value != 0)); }
    void PutDate(DispId id, double value) const { Put(id, VariantValue::Date(value)); }

    void CallMethod(DispId id, const std::vector<VariantValue>& arguments = {}) const;
    // A method whose result is an object; an empty driver when it answers Nothing.
    DispatchDriver CallObject(DispId id, const std::vector<VariantValue>& arguments = {}) const;

private:
    std::shared_ptr<AutomationObject> object_;
};
