// Compresses arbitrary bytes into pieces of a byte limit and decompresses
// them: the pieces join into the stream of one unbounded step, each stays
// within the limit, and the bytes come back unchanged.
#include <cstddef>
#include <cstdint>

#include "fuzz/lzw_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint32_t limit = 3 + data[0] * 5;
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::vector<std::string> whole, pieces;
    ResultCode rc = fuzz_compress(input, 0, &whole);
    fuzz_check(rc == (input.empty() ? RC_UNABLE_TO_READ : RC_OK), "compress result");
    fuzz_check(fuzz_compress(input, limit, &pieces) == rc, "same result in pieces");
    std::string joined;
    for (const std::string& p : pieces) {
        fuzz_check(p.size() <= limit, "piece within its limit");
        joined += p;
    }
    fuzz_check(joined == whole[0], "pieces join into the whole stream");

    std::string back;
    ResultCode back_rc = fuzz_decompress(pieces, 1 + data[0] * 13, &back);
    if (input.empty()) {
        fuzz_check(back_rc == RC_UNABLE_TO_READ && back.empty(), "empty input gives header only");
        return 0;
    }
    fuzz_check(back_rc == RC_OK, "decompress result");
    fuzz_check(back == input, "round trip");
    return 0;
}
