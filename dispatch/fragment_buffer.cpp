#include "dispatch/fragment_buffer.h"

#include <string>
#include <utility>

#include "common/errors.h"

bool FragmentBuffer::Append(ByteView piece)
{
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
    if (overflowed_) {
        Clear();
        throw AgentError("long request over " + std::to_string(kCapBytes) + " bytes dropped");
    }
    if (bytes_.isEmpty())
        return QByteArray(reinterpret_cast<const char*>(last.data()), static_cast<qsizetype>(last.size()));
    bytes_.append(reinterpret_cast<const char*>(last.data()), static_cast<qsizetype>(last.size()));
    return std::exchange(bytes_, QByteArray());
}

void FragmentBuffer::Clear()
{
    bytes_ = QByteArray();
    overflowed_ = false;
}
