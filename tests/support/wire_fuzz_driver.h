#pragma once
// Feeds one arbitrary byte stream through the framing (CServSocket) and the dispatcher, as if a
// peer had sent it over one connection. Shared by the libFuzzer target (fuzz/) and the test that
// replays its saved inputs.
//
// The stream is cut into reads whose sizes come from the input's first two bytes, so the
// fuzzer also explores how requests are split across reads. Every input starts from a fresh
// agent in one temporary home per process (HOME and XDG_* are pointed there on first use).
//
// Only requests that touch nothing outside the agent's own data folder are served: the
// connection requests, AS_PUT_FRAGMENT, and two stand-ins: AS_GET_CONTACT answers a reply whose
// size the request's first two payload bytes choose (up to 100000 bytes, so long replies
// travel in pieces), AS_SET_CONTACT takes the accumulated AS_PUT_FRAGMENT pieces. Requests
// that act on the real file system are left out on purpose.

#include <cstddef>
#include <cstdint>

void FeedWireBytes(const std::uint8_t* data, std::size_t size);

// Points HOME and the XDG folders at a temporary folder that lives until the process ends.
void PointHomeAtTemporaryFolder();
