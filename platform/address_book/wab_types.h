#pragma once
// The vocabulary of the address book: property tags and their types, typed property values,
// entry identifiers, object types and the flags of its operations. The numbers are the ones
// the address book's published interface gives them, so a tag read from a book means the same
// here as there.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "common/errors.h"

namespace wab {

// A property tag: the property's identifier in the upper 16 bits, its type in the lower 16.
using PropTag = std::uint32_t;

enum PropType : std::uint16_t {
    PT_LONG = 0x0003,
    PT_ERROR = 0x000A,
    PT_STRING8 = 0x001E,
    PT_UNICODE = 0x001F,
    PT_SYSTIME = 0x0040,
    PT_BINARY = 0x0102,
};
inline constexpr std::uint16_t MV_FLAG = 0x1000;
inline constexpr std::uint16_t PT_MV_UNICODE = MV_FLAG | PT_UNICODE;

constexpr PropTag MakeTag(std::uint16_t id, std::uint16_t type) { return (PropTag{id} << 16) | type; }
constexpr std::uint16_t PropTypeOf(PropTag tag) { return static_cast<std::uint16_t>(tag & 0xFFFF); }
constexpr std::uint16_t PropIdOf(PropTag tag) { return static_cast<std::uint16_t>(tag >> 16); }
constexpr bool IsMultiValued(PropTag tag) { return (PropTypeOf(tag) & MV_FLAG) != 0; }
constexpr std::uint16_t BaseTypeOf(PropTag tag) { return PropTypeOf(tag) & ~MV_FLAG; }
// The same property with another type (PR_DISPLAY_NAME_W and PR_DISPLAY_NAME_A share their id).
constexpr PropTag ChangeType(PropTag tag, std::uint16_t type) { return MakeTag(PropIdOf(tag), type); }
// A wide-text tag (single or multi-valued) as 8-bit text.
constexpr PropTag EightBitTag(PropTag tag) { return ChangeType(tag, (PropTypeOf(tag) & MV_FLAG) | 0x001E); }

// Properties the book computes rather than stores.
inline constexpr PropTag PR_OBJECT_TYPE = 0x0FFE0003;
inline constexpr PropTag PR_ENTRYID = 0x0FFF0102;
inline constexpr PropTag PR_DEF_CREATE_DL = 0x36110102;
inline constexpr PropTag PR_DISPLAY_NAME_W = 0x3001001F;

// Object types, as PR_OBJECT_TYPE gives them.
inline constexpr std::int32_t MAPI_ABCONT = 4;
inline constexpr std::int32_t MAPI_MAILUSER = 6;
inline constexpr std::int32_t MAPI_DISTLIST = 8;

// Flags of the operations.
inline constexpr std::uint32_t MAPI_MODIFY = 0x00000001;
inline constexpr std::uint32_t MAPI_BEST_ACCESS = 0x00000010;
inline constexpr std::uint32_t MAPI_UNICODE = 0x80000000;
inline constexpr std::uint32_t CREATE_CHECK_DUP_STRICT = 0x00000001;
inline constexpr std::uint32_t CREATE_MERGE = 0x00000008;
inline constexpr std::uint32_t FORCE_SAVE = 0x00000004;
inline constexpr std::uint32_t WAB_ENABLE_PROFILES = 0x00400000;

// Why an operation of the book failed, in the book's own result codes.
enum class WabStatus : std::uint32_t {
    Failed = 0x80004005,          // E_FAIL: the book file could not be read or written
    NotFound = 0x8004010F,        // MAPI_E_NOT_FOUND: the identifier names nothing
    NoSupport = 0x80040102,       // MAPI_E_NO_SUPPORT: the object has no such operation
    Computed = 0x8004011A,        // MAPI_E_COMPUTED: the property is computed and cannot be set
    Collision = 0x80040604,       // MAPI_E_COLLISION: a list of that name exists
    InvalidParameter = 0x80070057,  // E_INVALIDARG: a value that does not fit its tag
    NoAccess = 0x80070005,        // E_ACCESSDENIED: the object was opened for reading only
};

// Every failure of the book is thrown as this, with a text a log line can carry.
class WabError : public AgentError {
public:
    WabError(WabStatus status, const std::string& what) : AgentError(what), status_(status) {}
    WabStatus Status() const { return status_; }

private:
    WabStatus status_;
};

// A FILETIME: 100-ns units since 1 January 1601, 00:00.
struct FileTime {
    std::int64_t ticks = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// One property value. Its tag's type tells which alternative it holds; the constructors keep the
// two in step, and a value read for a missing property carries PT_ERROR and no data.
class PropValue {
public:
    using Data = std::variant<std::monostate, std::int32_t, FileTime, QString, QByteArray,
                              std::vector<std::int32_t>, std::vector<FileTime>, QStringList,
                              std::vector<QByteArray>>;

    PropValue() = default;
    // The missing value of `tag`: the same property, type PT_ERROR.
    static PropValue Error(PropTag tag) { return PropValue(ChangeType(tag, PT_ERROR)); }
    static PropValue Long(PropTag tag, std::int32_t v) { return Make(tag, PT_LONG, v); }
    static PropValue Time(PropTag tag, FileTime v) { return Make(tag, PT_SYSTIME, v); }
    static PropValue Unicode(PropTag tag, QString v) { return Make(tag, PT_UNICODE, std::move(v)); }
    static PropValue String8(PropTag tag, QByteArray v) { return Make(tag, PT_STRING8, std::move(v)); }
    static PropValue Binary(PropTag tag, QByteArray v) { return Make(tag, PT_BINARY, std::move(v)); }
    static PropValue MultiLong(PropTag tag, std::vector<std::int32_t> v) { return Make(tag, MV_FLAG | PT_LONG, std::move(v)); }
    static PropValue MultiTime(PropTag tag, std::vector<FileTime> v) { return Make(tag, MV_FLAG | PT_SYSTIME, std::move(v)); }
    static PropValue MultiUnicode(PropTag tag, QStringList v) { return Make(tag, PT_MV_UNICODE, std::move(v)); }
    static PropValue MultiString8(PropTag tag, std::vector<QByteArray> v) { return Make(tag, MV_FLAG | PT_STRING8, std::move(v)); }
    static PropValue MultiBinary(PropTag tag, std::vector<QByteArray> v) { return Make(tag, MV_FLAG | PT_BINARY, std::move(v)); }

    PropTag Tag() const { return tag_; }
    std::uint16_t Type() const { return PropTypeOf(tag_); }
    bool IsError() const { return Type() == PT_ERROR; }
    const Data& Value() const { return data_; }

    // The value when the tag has that type, else nothing.
    const QString* Unicode() const { return Type() == PT_UNICODE ? std::get_if<QString>(&data_) : nullptr; }
    const QByteArray* String8() const { return Type() == PT_STRING8 ? std::get_if<QByteArray>(&data_) : nullptr; }
    const QByteArray* Binary() const { return Type() == PT_BINARY ? std::get_if<QByteArray>(&data_) : nullptr; }
    const FileTime* Time() const { return Type() == PT_SYSTIME ? std::get_if<FileTime>(&data_) : nullptr; }
    const std::int32_t* Long() const { return Type() == PT_LONG ? std::get_if<std::int32_t>(&data_) : nullptr; }
    const QStringList* MultiUnicode() const { return Type() == PT_MV_UNICODE ? std::get_if<QStringList>(&data_) : nullptr; }
    const std::vector<QByteArray>* MultiString8() const
    {
        return Type() == (MV_FLAG | PT_STRING8) ? std::get_if<std::vector<QByteArray>>(&data_) : nullptr;
    }

    friend bool operator==(const PropValue&, const PropValue&) = default;

private:
    explicit PropValue(PropTag tag) : tag_(tag) {}
    template <class T>
    static PropValue Make(PropTag tag, std::uint16_t type, T&& value)
    {
        PropValue made(ChangeType(tag, type));
        made.data_.template emplace<std::decay_t<T>>(std::forward<T>(value));
        return made;
    }

    PropTag tag_ = PT_ERROR;
    Data data_;
};

using PropTagArray = std::vector<PropTag>;
// One row of a contents table, or the result of GetProps: values in the order of the tags asked for.
using PropRow = std::vector<PropValue>;

// An entry identifier. The book gives its entries 4 bytes, the row number big-endian, so that
// the hexadecimal text of an identifier is the row number in 8 digits.
class EntryId {
public:
    EntryId() = default;
    explicit EntryId(QByteArray bytes) : bytes_(std::move(bytes)) {}
    static EntryId FromRow(std::int64_t row);

    const QByteArray& Bytes() const { return bytes_; }
    bool Empty() const { return bytes_.isEmpty(); }
    // The row number an identifier of this book names; nothing for any other length or for 0.
    std::optional<std::int64_t> Row() const;

    friend bool operator==(const EntryId&, const EntryId&) = default;

private:
    QByteArray bytes_;
};

// The identifiers handed to DeleteEntries.
using EntryList = std::vector<EntryId>;

}  // namespace wab
