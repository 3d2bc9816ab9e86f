#include "dispatch/fragment_buffer.h"

bool FragmentBuffer::Append(ByteView piece)
{
    if (static_cast<qsizetype>(piece.size()) > kCapBytes - bytes_.size()) {
        Clear();
        return false;
    }
    bytes_.append(reinterpret_cast<const char*>(piece.data()), static_cast<qsizetype>(piece.size()));
    return true;
}

QByteArray FragmentBuffer::Take(ByteView last)
{
    QByteArray all = std::move(bytes_);
    bytes_ = QByteArray();
    all.append(reinterpret_cast<const char*>(last.data()), static_cast<qsizetype>(last.size()));
    return all;
}

void FragmentBuffer::Clear()
{
    bytes_ = QByteArray();
}
