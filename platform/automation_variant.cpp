#include "platform/automation_variant.h"

#include <cmath>
#include <limits>

#include "common/dates.h"

namespace {

VariantValue Make(VariantType type, std::int32_t integer, double real, const QString& text = {})
{
    VariantValue v;
    switch (type) {
        case VariantType::I2:
            return VariantValue::I2(static_cast<std::int16_t>(integer));
        case VariantType::I4:
            return VariantValue::I4(integer);
        case VariantType::Bool:
            return VariantValue::Bool(integer != 0);
        case VariantType::R8:
            return VariantValue::R8(real);
        case VariantType::Date:
            return VariantValue::Date(real);
        case VariantType::BStr:
            return VariantValue::Text(text);
        default:
            return v;
    }
}

bool IsIntegral(VariantType t)
{
    return t == VariantType::I2 || t == VariantType::I4 || t == VariantType::Bool;
}

bool IsReal(VariantType t)
{
    return t == VariantType::R8 || t == VariantType::Date;
}

// Rounds half to even, as the platform's conversions do; false when the value does not fit.
bool RoundToInteger(double value, std::int64_t lowest, std::int64_t highest, std::int32_t& out)
{
    if (!std::isfinite(value)) return false;
    const double rounded = std::nearbyint(value);  // the default rounding mode is to nearest even
    if (rounded < static_cast<double>(lowest) || rounded > static_cast<double>(highest)) return false;
    out = static_cast<std::int32_t>(rounded);
    return true;
}

bool FitsIn(std::int64_t value, VariantType t)
{
    if (t == VariantType::I2) return value >= std::numeric_limits<std::int16_t>::min() &&
                                      value <= std::numeric_limits<std::int16_t>::max();
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

QString NumberText(double value)
{
    return QString::number(value, 'g', 15);
}

}  // namespace

VariantValue VariantValue::I2(std::int16_t v)
{
    VariantValue r;
    r.type_ = VariantType::I2;
    r.integer_ = v;
    return r;
}

VariantValue VariantValue::I4(std::int32_t v)
{
    VariantValue r;
    r.type_ = VariantType::I4;
    r.integer_ = v;
    return r;
}

VariantValue VariantValue::R8(double v)
{
    VariantValue r;
    r.type_ = VariantType::R8;
    r.real_ = v;
    return r;
}

VariantValue VariantValue::Date(double v)
{
    VariantValue r;
    r.type_ = VariantType::Date;
    r.real_ = v;
    return r;
}

VariantValue VariantValue::Text(const QString& v)
{
    VariantValue r;
    r.type_ = VariantType::BStr;
    r.text_ = v;
    return r;
}

VariantValue VariantValue::Bool(bool v)
{
    VariantValue r;
    r.type_ = VariantType::Bool;
    r.integer_ = v ? -1 : 0;
    return r;
}

VariantValue VariantValue::Object(std::shared_ptr<AutomationObject> v)
{
    VariantValue r;
    r.type_ = VariantType::Dispatch;
    r.object_ = std::move(v);
    return r;
}

ComStatus VariantValue::ChangeType(VariantType to, VariantValue& out) const
{
    out = VariantValue();
    if (to == type_) {
        out = *this;
        return com_status::kOk;
    }
    if (to == VariantType::Empty) return com_status::kOk;
    if (type_ == VariantType::Dispatch || to == VariantType::Dispatch) return com_status::kTypeMismatch;

    if (type_ == VariantType::Empty) {
        out = Make(to, 0, 0.0);
        return com_status::kOk;
    }
    if (IsIntegral(type_)) {
        if (IsIntegral(to)) {
            if (!FitsIn(integer_, to)) return com_status::kOverflow;
            out = Make(to, integer_, 0.0);
        } else if (IsReal(to)) {
            out = Make(to, 0, static_cast<double>(integer_));
        } else {
            out = Text(QString::number(integer_));
        }
        return com_status::kOk;
    }
    if (IsReal(type_)) {
        if (IsReal(to)) {
            out = Make(to, 0, real_);
        } else if (IsIntegral(to)) {
            if (to == VariantType::Bool) {
                out = Bool(real_ != 0.0);
                return com_status::kOk;
            }
            std::int32_t value = 0;
            const std::int64_t low = to == VariantType::I2 ? std::numeric_limits<std::int16_t>::min()
                                                           : std::numeric_limits<std::int32_t>::min();
            const std::int64_t high = to == VariantType::I2 ? std::numeric_limits<std::int16_t>::max()
                                                            : std::numeric_limits<std::int32_t>::max();
            if (!RoundToInteger(real_, low, high, value)) return com_status::kOverflow;
            out = Make(to, value, 0.0);
        } else {
            out = Text(type_ == VariantType::Date ? DateToText(real_) : NumberText(real_));
        }
        return com_status::kOk;
    }
    // From text: a number for the numeric types, a date in any form the agent reads.
    const QString trimmed = text_.trimmed();
    if (to == VariantType::Date) {
        bool ok = false;
        const double number = trimmed.toDouble(&ok);
        if (ok) {
            out = Date(number);
            return com_status::kOk;
        }
        const std::optional<double> date = ParseDateText(trimmed);
        if (!date) return com_status::kTypeMismatch;
        out = Date(*date);
        return com_status::kOk;
    }
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok) return com_status::kTypeMismatch;
    return R8(number).ChangeType(to, out);
}

QString VariantValue::Describe() const
{
    switch (type_) {
        case VariantType::Empty:
            return QStringLiteral("empty");
        case VariantType::I2:
            return QStringLiteral("I2 %1").arg(integer_);
        case VariantType::I4:
            return QStringLiteral("I4 %1").arg(integer_);
        case VariantType::Bool:
            return QStringLiteral("BOOL %1").arg(integer_);
        case VariantType::R8:
            return QStringLiteral("R8 ") + NumberText(real_);
        case VariantType::Date:
            return QStringLiteral("DATE ") + NumberText(real_);
        case VariantType::BStr:
            return QStringLiteral("BSTR \"%1\"").arg(text_);
        case VariantType::Dispatch:
            return object_ ? QStringLiteral("DISPATCH") : QStringLiteral("DISPATCH Nothing");
    }
    return {};
}
