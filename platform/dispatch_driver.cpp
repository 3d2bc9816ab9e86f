#include "platform/dispatch_driver.h"

bool DispatchDriver::CreateDispatch(const QString& progId) noexcept
{
    object_.reset();
    try {
        object_ = CreateAutomationObject(progId);
    } catch (...) {
        object_.reset();
    }
    return object_ != nullptr;
}

bool DispatchDriver::InvokeHelper(DispId id, InvokeKind kind, VariantType resultType, VariantValue& result,
                                  const std::vector<VariantValue>& arguments) const
{
    if (!object_) return false;
    // The call may drop the caller's last other reference to this object (a driver assigned
    // its own result); the object lives until the call is over.
    const std::shared_ptr<AutomationObject> object = object_;
    InvokeResult answer = object->Invoke(id, kind, arguments);
    if (Failed(answer.status)) {
        result = VariantValue();
        if (answer.status == com_status::kException) throw COleDispatchException(std::move(answer.exception));
        throw COleException(answer.status);
    }
    if (resultType == VariantType::Empty) return true;
    VariantValue converted;
    const ComStatus status = answer.result.ChangeType(resultType, converted);
    if (Failed(status)) {
        result = VariantValue();
        throw COleException(status);
    }
    result = std::move(converted);
    return true;
}

QString DispatchDriver::GetText(DispId id) const
{
    VariantValue v = VariantValue::Text({});
    InvokeHelper(id, InvokeKind::PropertyGet, VariantType::BStr, v);
    return v.String();
}

std::int32_t DispatchDriver::GetI4(DispId id) const
{
    VariantValue v = VariantValue::I4(0);
    InvokeHelper(id, InvokeKind::PropertyGet, VariantType::I4, v);
    return v.Integer();
}

std::int32_t DispatchDriver::GetBool(DispId id) const
{
    VariantValue v = VariantValue::Bool(false);
    InvokeHelper(id, InvokeKind::PropertyGet, VariantType::Bool, v);
    return v.Integer() != 0 ? 1 : 0;
}

double DispatchDriver::GetDate(DispId id) const
{
    VariantValue v = VariantValue::Date(0.0);
    InvokeHelper(id, InvokeKind::PropertyGet, VariantType::Date, v);
    return v.Real();
}

DispatchDriver DispatchDriver::GetObject(DispId id) const
{
    VariantValue v;
    InvokeHelper(id, InvokeKind::PropertyGet, VariantType::Dispatch, v);
    return DispatchDriver(v.Dispatch());
}

void DispatchDriver::Put(DispId id, const VariantValue& value) const
{
    VariantValue none;
    InvokeHelper(id, InvokeKind::PropertyPut, VariantType::Empty, none, {value});
}

void DispatchDriver::CallMethod(DispId id, const std::vector<VariantValue>& arguments) const
{
    VariantValue none;
    InvokeHelper(id, InvokeKind::Method, VariantType::Empty, none, arguments);
}

DispatchDriver DispatchDriver::CallObject(DispId id, const std::vector<VariantValue>& arguments) const
{
    VariantValue v;
    InvokeHelper(id, InvokeKind::Method, VariantType::Dispatch, v, arguments);
    return DispatchDriver(v.Dispatch());
}
