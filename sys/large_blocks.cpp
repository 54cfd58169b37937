// Large blocks.
#include "sys/large_blocks.h"

#include <sys/mman.h>

#include <cstdlib>

void* large_block_take() {
    void* block = std::aligned_alloc(LARGE_BLOCK_BYTES, LARGE_BLOCK_BYTES);
#ifdef MADV_HUGEPAGE
    // Faulting a large table in one small page at a time costs more than
    // building it.
    if (block) (void)madvise(block, LARGE_BLOCK_BYTES, MADV_HUGEPAGE);
#endif
    return block;
}
