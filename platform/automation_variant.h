#pragma once
#include <QString>
#include <cstdint>
#include <memory>

class AutomationObject;

// The status every automation call answers with: negative is a failure. The values are the
// platform's, so a status that reaches a log line means what a Windows developer expects.
using ComStatus = std::int32_t;

namespace com_status {
inline constexpr ComStatus kOk = 0;
inline constexpr ComStatus kFail = static_cast<ComStatus>(0x80004005);
inline constexpr ComStatus kInvalidArg = static_cast<ComStatus>(0x80070057);
inline constexpr ComStatus kMemberNotFound = static_cast<ComStatus>(0x80020003);  // DISP_E_MEMBERNOTFOUND
inline constexpr ComStatus kTypeMismatch = static_cast<ComStatus>(0x80020005);    // DISP_E_TYPEMISMATCH
inline constexpr ComStatus kException = static_cast<ComStatus>(0x80020009);       // DISP_E_EXCEPTION
inline constexpr ComStatus kOverflow = static_cast<ComStatus>(0x8002000A);        // DISP_E_OVERFLOW
inline constexpr ComStatus kBadParamCount = static_cast<ComStatus>(0x8002000E);   // DISP_E_BADPARAMCOUNT
inline constexpr ComStatus kDisconnected = static_cast<ComStatus>(0x80010108);    // RPC_E_DISCONNECTED
}  // namespace com_status

inline bool Failed(ComStatus status) { return status < 0; }

// The variant types the Outlook stores exchange, with the platform's type numbers.
enum class VariantType : std::uint16_t {
    Empty = 0,
    I2 = 2,
    I4 = 3,
    R8 = 5,
    Date = 7,
    BStr = 8,
    Dispatch = 9,
    Bool = 11,
};

// One automation value. A boolean holds the platform's truth values (true is -1); a dispatch
// value may hold no object (Outlook's Nothing). Values are plain data: copying one shares the
// object it holds, as adding a reference would.
class VariantValue {
public:
    VariantValue() = default;
    static VariantValue I2(std::int16_t v);
    static VariantValue I4(std::int32_t v);
    static VariantValue R8(double v);
    static VariantValue Date(double v);
    static VariantValue Text(const QString& v);
    static VariantValue Bool(bool v);
    static VariantValue Object(std::shared_ptr<AutomationObject> v);

    VariantType Type() const { return type_; }
    bool IsEmpty() const { return type_ == VariantType::Empty; }

    // The held value as it was stored; meaningful only for the matching type.
    std::int32_t Integer() const { return integer_; }  // I2, I4, and Bool (-1 or 0)
    double Real() const { return real_; }              // R8 and Date
    const QString& String() const { return text_; }    // BStr
    const std::shared_ptr<AutomationObject>& Dispatch() const { return object_; }

    // The platform's default conversion to another type: numbers and booleans among each other
    // (fractions rounded half to even, out of range an overflow), dates and reals alike, a
    // number or date to its text and a numeric text back, empty to zero or empty text. The
    // status is kOk, kTypeMismatch or kOverflow; on failure `out` is left empty.
    ComStatus ChangeType(VariantType to, VariantValue& out) const;

    // For test messages and the call journal.
    QString Describe() const;

    friend bool operator==(const VariantValue&, const VariantValue&) = default;

private:
    VariantType type_ = VariantType::Empty;
    std::int32_t integer_ = 0;
    double real_ = 0.0;
    QString text_;
    std::shared_ptr<AutomationObject> object_;
};
