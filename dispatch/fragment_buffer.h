#pragma once
#include <QByteArray>

#include "common/byte_io.h"

// The AS_PUT_FRAGMENT pieces of a long request, waiting for the request that consumes them.
// It grows in place (amortised linear, not a copy per piece) and is capped so that a peer
// cannot make the agent hold unbounded memory. Its block goes to the request that consumes the
// pieces, so it is freed once that request is served: a connection that once sent 64 MiB does
// not keep 64 MiB for as long as it stays.
class FragmentBuffer {
public:
    static constexpr qsizetype kCapBytes = 64 * 1024 * 1024;

    // Appends one piece. False (and the buffer emptied) when the total would pass the cap; the
    // rest of that long request is then refused too, up to and including the request that
    // would consume it, so that it never runs on a truncated payload.
    bool Append(ByteView piece);
    // The pieces followed by `last`; the buffer is empty afterwards and holds no memory. Throws
    // AgentError when the pieces passed the cap (the buffer is then ready for the next long
    // request).
    QByteArray Take(ByteView last);
    // Empties the buffer and gives its memory back.
    void Clear();
    qsizetype Size() const { return bytes_.size(); }
    // The memory the buffer holds, used or not.
    qsizetype HeldBytes() const { return bytes_.capacity(); }
    bool Overflowed() const { return overflowed_; }

private:
    QByteArray bytes_;
    bool overflowed_ = false;
};
