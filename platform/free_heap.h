#pragma once

// Hands the heap's free pages back to the system. The allocator keeps freed memory for reuse,
// so after a peer that loaded tens of thousands of items leaves, the agent would otherwise stay
// at its peak size for as long as it runs. Worth calling once after a large release, not after
// every request: it walks the whole heap.
void ReturnFreeHeap();
