#pragma once
#include <QByteArray>

#include "common/byte_io.h"

// The AS_PUT_FRAGMENT pieces of a long request, waiting for the request that consumes them.
// It grows in place (amortised linear, not a copy per piece) and is capped so that a peer
// cannot make the agent hold unbounded memory. Its block is kept from one long request to the
// next (fresh memory is what a long request costs most), and given back by Clear, when the
// connection ends.
class FragmentBuffer {
public:
    static constexpr qsizetype kCapBytes = 64 * 1024 * 1024;

    // Appends one piece. False (and the buffer emptied) when the total would pass the cap; the
    // rest of that long request is then refused too, up to and including the request that
    // would consume it, so that it never runs on a truncated payload.
    bool Append(ByteView piece);
    // The pieces followed by `last`; the buffer is empty afterwards. The result shares the
    // buffer's block until the buffer is used again. Throws AgentError when the pieces passed
    // the cap (the buffer is then ready for the next long request).
    QByteArray Take(ByteView last);
    // Empties the buffer and gives its memory back.
    void Clear();
    qsizetype Size() const { return taken_ ? 0 : bytes_.size(); }
    bool Overflowed() const { return overflowed_; }

private:
    void ForgetTaken();

    QByteArray bytes_;
    // The bytes were handed out by Take; they are dropped (keeping the block when no one holds
    // them any more) before the buffer is used again.
    bool taken_ = false;
    bool overflowed_ = false;
};
