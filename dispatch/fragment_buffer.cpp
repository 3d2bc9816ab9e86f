#include "dispatch/fragment_buffer.h"

#include <string>

#include "common/errors.h"

bool FragmentBuffer::Append(ByteView piece)
{
    if (overflowed_ || static_cast<qsizetype>(piece.size()) > kCapBytes - bytes_.size()) {
        bytes_ = QByteArray();
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
    QByteArray all = std::move(bytes_);
    bytes_ = QByteArray();
    all.append(reinterpret_cast<const char*>(last.data()), static_cast<qsizetype>(last.size()));
    return all;
}

void FragmentBuffer::Clear()
{
    bytes_ = QByteArray();
    overflowed_ = false;
}
