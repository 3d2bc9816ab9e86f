#pragma once
#include <cstddef>
#include <cstdint>

// Every message is a 6-byte little-endian header (code, tag, payload length) and its payload.
// A message is at most 16384 bytes; longer replies travel as AS_FRAGMENT pieces and longer
// requests as AS_PUT_FRAGMENT pieces.
struct MessageHeader {
    std::uint16_t code = 0;
    std::uint16_t tag = 0;   // chosen by the peer, echoed in every reply and piece, never interpreted
    std::uint16_t length = 0;
};

inline constexpr std::size_t kHeaderBytes = 6;
inline constexpr std::size_t kMaxMessageBytes = 16384;
inline constexpr std::size_t kMaxPayloadBytes = kMaxMessageBytes - kHeaderBytes;  // 16378

inline constexpr std::uint16_t AS_ERROR = 19;
inline constexpr std::uint16_t AS_FRAGMENT = 93;
inline constexpr std::uint16_t AS_PUT_FRAGMENT = 92;
// The one-byte acknowledgement of every AS_PUT_FRAGMENT piece (the low byte of its code).
inline constexpr std::uint8_t kPutFragmentAck = 0x5C;
