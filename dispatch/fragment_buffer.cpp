#include "dispatch/fragment_buffer.h"

#include <string>

#include "common/errors.h"

void FragmentBuffer::ForgetTaken()
{
    if (!taken_) return;
    taken_ = false;
    // Keeps the block unless a consumer still holds the bytes (then they stay theirs).
    bytes_.resize(0);
}

bool FragmentBuffer::Append(ByteView piece)
{
    ForgetTaken();
    if (overflowed_ || static_cast<qsizetype>(piece.size()) > kCapBytes - bytes_.size()) {
        Clear();
        overflowed_ = true;
        return false;
    }
    bytes_.append(reinterpret_cast<const char*>(piece.data()), static_cast<qsizetype>(piece.size()));
    return true;
}

QByteArray FragmentBuffer::Take(ByteView last)
{
    ForgetTaken();
    if (overflowed_) {
        Clear();
        throw AgentError("long request over " + std::to_string(kCapBytes) + " bytes dropped");
    }
    if (bytes_.isEmpty())
        return QByteArray(reinterpret_cast<const char*>(last.data()), static_cast<qsizetype>(last.size()));
    bytes_.append(reinterpret_cast<const char*>(last.data()), static_cast<qsizetype>(last.size()));
    taken_ = true;
    return bytes_;
}

void FragmentBuffer::Clear()
{
    bytes_ = QByteArray();
    taken_ = false;
    overflowed_ = false;
}
