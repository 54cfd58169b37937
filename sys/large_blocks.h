// Large blocks: memory taken in whole 2 MiB pieces, which the host is asked
// to back with large pages, for pools that hold millions of small values.
// Needs only the C library.
#pragma once

#include <cstddef>

// The size and alignment of a large block.
constexpr size_t LARGE_BLOCK_BYTES = size_t(2) << 20;

// A block of LARGE_BLOCK_BYTES aligned to its size, released with std::free;
// nullptr when memory runs out. The large-page request is only a hint: a
// host that refuses it still gives the block.
void* large_block_take();
