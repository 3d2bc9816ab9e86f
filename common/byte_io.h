#pragma once
// Bounded little-endian reading and writing of the wire's and the files' binary layouts.
// Every read is checked against the bytes actually present; an overrun throws MalformedData
// instead of reading past the buffer.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/errors.h"

using ByteView = std::span<const std::uint8_t>;

inline ByteView AsBytes(const QByteArray& a)
{
    return {reinterpret_cast<const std::uint8_t*>(a.constData()), static_cast<std::size_t>(a.size())};
}

class ByteReader {
public:
    explicit ByteReader(ByteView data) : data_(data) {}
    explicit ByteReader(const QByteArray& data) : data_(AsBytes(data)) {}

    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return data_.size() - pos_; }
    bool AtEnd() const { return pos_ >= data_.size(); }

    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint64_t U64();
    std::int64_t I64() { return static_cast<std::int64_t>(U64()); }
    double F64();
    ByteView Bytes(std::size_t count);
    void Skip(std::size_t count) { Bytes(count); }

    // UTF-16LE text of exactly byteCount bytes (must be even), cut at its first zero unit.
    QString Utf16(std::size_t byteCount);
    // A u16 byte count, then that many bytes of UTF-16LE text.
    QString CountedUtf16();
    // UTF-16LE units up to the first zero unit (consumed) or the end of the data.
    QString ZeroTerminatedUtf16();

private:
    void Need(std::size_t count) const;
    ByteView data_;
    std::size_t pos_ = 0;
};

class ByteWriter {
public:
    explicit ByteWriter(QByteArray& out) : out_(out) {}
    void U8(std::uint8_t v) { out_.append(static_cast<char>(v)); }
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void U64(std::uint64_t v);
    void I64(std::int64_t v) { U64(static_cast<std::uint64_t>(v)); }
    void F64(double v);
    void Bytes(ByteView bytes) { out_.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())); }
    void Bytes(const QByteArray& bytes) { out_.append(bytes); }
    // UTF-16LE code units without terminator.
    void Utf16(const QString& text);
    // Exactly `units` code units: the text cut or padded with zero units.
    void Utf16Fixed(const QString& text, int units);
    // A u16 byte count followed by the text's UTF-16LE code units (throws when it does not fit).
    void CountedUtf16(const QString& text);
    void Zeros(std::size_t count) { out_.append(static_cast<qsizetype>(count), '\0'); }

private:
    QByteArray& out_;
};

namespace utf16 {
// The text's UTF-16LE bytes, no terminator: the form checksums and replies use.
QByteArray Bytes(const QString& text);
// UTF-16LE units from a byte range, cut at the first zero unit; an odd last byte is ignored.
QString FromBytesUpToZero(ByteView bytes);
// The text up to its first zero code unit.
QString UpToZero(const QString& text);
}  // namespace utf16

// Little-endian stores into a fixed buffer, for headers and records laid out in place.
inline void PutU16(std::uint8_t* p, std::uint16_t v) { p[0] = static_cast<std::uint8_t>(v); p[1] = static_cast<std::uint8_t>(v >> 8); }
inline void PutU32(std::uint8_t* p, std::uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i)); }
inline std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t GetU32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24); }
