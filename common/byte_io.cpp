#include "common/byte_io.h"

#include <cstring>
#include <limits>

void ByteReader::Need(std::size_t count) const
{
    if (count > Remaining())
        throw MalformedData("data ends " + std::to_string(count - Remaining()) + " bytes early at offset " +
                            std::to_string(pos_));
}

std::uint8_t ByteReader::U8()
{
    Need(1);
    return data_[pos_++];
}

std::uint16_t ByteReader::U16()
{
    Need(2);
    auto v = GetU16(data_.data() + pos_);
    pos_ += 2;
    return v;
}

std::uint32_t ByteReader::U32()
{
    Need(4);
    auto v = GetU32(data_.data() + pos_);
    pos_ += 4;
    return v;
}

std::uint64_t ByteReader::U64()
{
    std::uint64_t lo = U32();
    std::uint64_t hi = U32();
    return lo | (hi << 32);
}

double ByteReader::F64()
{
    std::uint64_t bits = U64();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

ByteView ByteReader::Bytes(std::size_t count)
{
    Need(count);
    ByteView v = data_.subspan(pos_, count);
    pos_ += count;
    return v;
}

QString ByteReader::Utf16(std::size_t byteCount)
{
    if (byteCount % 2 != 0)
        throw MalformedData("odd byte length " + std::to_string(byteCount) + " for a UTF-16 text");
    return utf16::FromBytesUpToZero(Bytes(byteCount));
}

QString ByteReader::CountedUtf16()
{
    std::uint16_t count = U16();
    return Utf16(count);
}

QString ByteReader::ZeroTerminatedUtf16()
{
    std::size_t start = pos_;
    std::size_t end = start;
    while (end + 1 < data_.size() && GetU16(data_.data() + end) != 0)
        end += 2;
    std::size_t units = (end - start) / 2;
    QString text;
    text.resize(static_cast<qsizetype>(units));
    for (std::size_t i = 0; i < units; ++i)
        text[static_cast<qsizetype>(i)] = QChar(GetU16(data_.data() + start + 2 * i));
    // Consume the terminator when there is one; otherwise the text ran to the end.
    pos_ = (end + 1 < data_.size()) ? end + 2 : data_.size();
    return text;
}

void ByteWriter::U16(std::uint16_t v)
{
    std::uint8_t b[2];
    PutU16(b, v);
    out_.append(reinterpret_cast<const char*>(b), 2);
}

void ByteWriter::U32(std::uint32_t v)
{
    std::uint8_t b[4];
    PutU32(b, v);
    out_.append(reinterpret_cast<const char*>(b), 4);
}

void ByteWriter::U64(std::uint64_t v)
{
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
}

void ByteWriter::F64(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof v);
    U64(bits);
}

void ByteWriter::Utf16(const QString& text)
{
    const qsizetype start = out_.size();
    out_.resize(start + 2 * text.size());
    auto* p = reinterpret_cast<std::uint8_t*>(out_.data()) + start;
    for (qsizetype i = 0; i < text.size(); ++i)
        PutU16(p + 2 * i, text[i].unicode());
}

void ByteWriter::Utf16Fixed(const QString& text, int units)
{
    QString cut = text.left(units);
    Utf16(cut);
    Zeros(static_cast<std::size_t>(2 * (units - cut.size())));
}

void ByteWriter::CountedUtf16(const QString& text)
{
    const qsizetype bytes = 2 * text.size();
    if (bytes > std::numeric_limits<std::uint16_t>::max())
        throw AgentError("text of " + std::to_string(bytes) + " bytes does not fit a 16-bit count");
    U16(static_cast<std::uint16_t>(bytes));
    Utf16(text);
}

namespace utf16 {

QByteArray Bytes(const QString& text)
{
    QByteArray out;
    ByteWriter(out).Utf16(text);
    return out;
}

QString FromBytesUpToZero(ByteView bytes)
{
    const std::size_t units = bytes.size() / 2;
    std::size_t n = 0;
    while (n < units && GetU16(bytes.data() + 2 * n) != 0)
        ++n;
    QString text;
    text.resize(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
        text[static_cast<qsizetype>(i)] = QChar(GetU16(bytes.data() + 2 * i));
    return text;
}

QString UpToZero(const QString& text)
{
    const qsizetype zero = text.indexOf(QChar(0));
    return zero < 0 ? text : text.left(zero);
}

}  // namespace utf16
