// Decompresses arbitrary bytes: once in large steps, once cut into two
// pieces and read in steps of a small output limit. Neither may crash or
// read out of bounds, and both must give the same bytes and result.
#include <cstddef>
#include <cstdint>

#include "fuzz/lzw_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    uint32_t limit = 1 + ((data[0] | (data[1] << 8)) % 4096);
    std::string stream(reinterpret_cast<const char*>(data) + 3, size - 3);
    size_t cut = stream.empty() ? 0 : data[2] * 7 % (stream.size() + 1);

    std::string whole, stepped;
    ResultCode rc_whole = fuzz_decompress({stream}, 1 << 16, &whole);
    ResultCode rc_stepped =
        fuzz_decompress({stream.substr(0, cut), stream.substr(cut)}, limit, &stepped);
    fuzz_check(rc_whole == RC_OK || rc_whole == RC_UNABLE_TO_READ, "result is 0 or 20");
    fuzz_check(rc_whole == rc_stepped, "same result in steps");
    fuzz_check(whole == stepped, "same bytes in steps");
    if (!stream.empty() && uint8_t(stream[0]) > LZW_MAX_HEADER)
        fuzz_check(rc_whole == RC_UNABLE_TO_READ && whole.empty(), "header above 18 refused");
    return 0;
}
