#include "dispatch/fragment_buffer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "common/errors.h"
#include "wire/message_header.h"

namespace {

// Room for the consuming request's own payload, so that Take never grows the block.
constexpr qsizetype kFinalPieceBytes = static_cast<qsizetype>(kMaxPayloadBytes);

}  // namespace

bool FragmentBuffer::Append(ByteView piece)
{
    if (overflowed_ || static_cast<qsizetype>(piece.size()) > kCapBytes - bytes_.size()) {
        Clear();
        overflowed_ = true;
        return false;
    }
    const qsizetype needed = bytes_.size() + static_cast<qsizetype>(piece.size()) + kFinalPieceBytes;
    if (needed > bytes_.capacity()) {
        // Doubling keeps the growth amortised linear whatever the container's own policy; the
        // block never needs more than the cap and one final piece, so it stops there in one step.
        bytes_.reserve(std::min(std::max(needed, 2 * bytes_.capacity()), kCapBytes + kFinalPieceBytes));
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
