// Arbitrary byte streams from a peer through the framing and the dispatcher.
#include <cstddef>
#include <cstdint>

#include "wire_fuzz_driver.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    PointHomeAtTemporaryFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FeedWireBytes(data, size);
    return 0;
}
