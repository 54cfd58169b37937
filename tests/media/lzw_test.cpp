#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "media/lzw_compress.h"
#include "media/lzw_decompress.h"

namespace {

using Bytes = std::string;

Bytes hex(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.push_back(char(v));
    return b;
}

Bytes random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n, '\0');
    for (char& c : b) c = char(rng());
    return b;
}

// Words from a small vocabulary in pseudo-random order: long repeats.
Bytes text_like(size_t n, unsigned seed) {
    static const char* words[] = {"disk ",         "label ", "setup.exe ",
                                  "product\r\n",   "group ", "component ",
                                  "size=1457664 ", "the ",   "of "};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) b += words[rng() % 9];
    b.resize(n);
    return b;
}

// Compresses `input` into pieces of at most `limit` bytes; a limit of 0
// means one unbounded step.
std::vector<Bytes> compress_pieces(const Bytes& input, uint32_t limit, ResultCode* rc) {
    // One table for all streams, made fresh by a reset: a reset must leave
    // nothing of the stream before.
    static LzwCompressor c;
    if (!c.slot) {
        EXPECT_EQ(lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX), RC_OK);
    }
    lzw_compressor_reset(&c);
    ByteSource in;
    byte_source_open_memory(&in, input.data(), input.size());
    std::vector<Bytes> pieces;
    *rc = RC_OK;
    for (int guard = 0; guard < 1000000 && *rc == RC_OK && !lzw_compress_is_done(&c); ++guard) {
        Bytes piece(limit ? limit : input.size() * 2 + 16, '\0');
        BitWriter w;
        bit_writer_open_memory(&w, piece.data(), piece.size());
        uint32_t written = 0;
        *rc = lzw_compress_step(&c, &in, &w, limit ? limit : UINT32_MAX, &written);
        EXPECT_EQ(written, w.sink.used);
        if (lzw_compress_is_done(&c) || *rc != RC_OK) {
            EXPECT_EQ(lzw_compress_finish(&c, &w), RC_OK);
        }
        piece.resize(w.sink.used);
        pieces.push_back(piece);
    }
    return pieces;
}

Bytes join(const std::vector<Bytes>& pieces) {
    Bytes all;
    for (const Bytes& p : pieces) all += p;
    return all;
}

Bytes compress(const Bytes& input, ResultCode* rc = nullptr) {
    ResultCode local;
    Bytes out = join(compress_pieces(input, 0, &local));
    if (rc) {
        *rc = local;
    } else {
        EXPECT_EQ(local, RC_OK);
    }
    return out;
}

// Decompresses the pieces of a stream one after the other, each in steps of
// at most `limit` output bytes; every step but the one that meets the end
// of a piece must write exactly `limit`. The result is the first failure
// or, at the end, what finishing the stream says.
Bytes decompress_pieces(const std::vector<Bytes>& pieces, uint32_t limit, ResultCode* rc) {
    LzwDecompressor d;
    lzw_decompressor_init(&d);
    Bytes out, chunk(limit, '\0');
    *rc = RC_OK;
    for (const Bytes& piece : pieces) {
        BitReader r;
        bit_reader_open_memory(&r, piece.data(), piece.size());
        uint32_t written = limit;
        while (*rc == RC_OK && written == limit) {
            ByteSink sink;
            byte_sink_open_memory(&sink, chunk.data(), chunk.size());
            *rc = lzw_decompress_step(&d, &r, &sink, limit, &written);
            EXPECT_LE(written, limit);
            out.append(chunk.data(), written);
        }
    }
    if (*rc == RC_OK) *rc = lzw_decompress_finish(&d);
    lzw_decompressor_free(&d);
    return out;
}

Bytes decompress(const Bytes& stream, ResultCode* rc) {
    return decompress_pieces({stream}, 1 << 20, rc);
}

ResultCode decompress_result(const Bytes& stream) {
    ResultCode rc;
    decompress(stream, &rc);
    return rc;
}

// Appends `width` bits of `code` to a bit string of '0' and '1'.
void put_bits(std::string* bits, uint32_t code, int width) {
    for (int i = width - 1; i >= 0; --i) bits->push_back((code >> i) & 1 ? '1' : '0');
}

Bytes pack_bits(std::string bits) {
    while (bits.size() % 8) bits.push_back('0');
    Bytes b;
    for (size_t i = 0; i < bits.size(); i += 8)
        b.push_back(char(std::stoi(bits.substr(i, 8), nullptr, 2)));
    return b;
}

// A stream of 9-bit codes after a header byte.
Bytes stream_of(uint32_t header, std::initializer_list<uint32_t> codes) {
    std::string bits;
    put_bits(&bits, header, 8);
    for (uint32_t code : codes) put_bits(&bits, code, 9);
    return pack_bits(bits);
}

}  // namespace

TEST(LzwCompress, WritesTheKnownStreams) {
    EXPECT_EQ(compress("abc"), hex({0x0D, 0x31, 0x99, 0x0C, 0xA0}));
    EXPECT_EQ(compress("aaaa"), hex({0x0D, 0x31, 0xC0, 0x8C, 0x60}));
    EXPECT_EQ(compress(Bytes(1, '\0')), hex({0x0D, 0x01, 0x00}));  // code 2
    EXPECT_EQ(compress("\xFF"), hex({0x0D, 0x80, 0x80}));          // code 257
    ResultCode rc;
    EXPECT_EQ(decompress(hex({0x0D, 0x31, 0xC0, 0x8C, 0x60}), &rc),
              "aaaa");  // 258 before it is defined
    EXPECT_EQ(rc, RC_OK);
}

// The coder's rules written plainly, with an ordered map for the dictionary:
// header, longest match, width by the highest code assigned, CLEAR once the
// highest code is taken. The hash table may lay out its slots as it likes,
// but every pair it holds must be found, so the streams must agree.
Bytes reference_compress(const Bytes& input, uint32_t width) {
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> dictionary;
    const uint32_t max_code = (1u << width) - 2;
    uint32_t last = LZW_LAST_INITIAL;
    std::string bits;
    put_bits(&bits, width, 8);
    // 9 bits while the highest code is at most 511, then one more per doubling.
    auto code_width = [&] {
        uint32_t width = LZW_MIN_WIDTH;
        while (last >> width) ++width;
        return width;
    };
    uint32_t prefix = uint8_t(input[0]) + LZW_FIRST_BYTE_CODE;
    for (size_t i = 1; i < input.size(); ++i) {
        uint32_t byte = uint8_t(input[i]);
        auto found = dictionary.find({prefix, byte});
        if (found != dictionary.end()) {
            prefix = found->second;
            continue;
        }
        put_bits(&bits, prefix, int(code_width()));
        if (last < max_code) {
            dictionary[{prefix, byte}] = ++last;
        } else {
            put_bits(&bits, LZW_CLEAR, int(code_width()));
            dictionary.clear();
            last = LZW_LAST_INITIAL;
        }
        prefix = byte + LZW_FIRST_BYTE_CODE;
    }
    put_bits(&bits, prefix, int(code_width()));
    return pack_bits(bits);
}

Bytes compress_with(const Bytes& input, uint32_t width, uint32_t slot_index) {
    LzwCompressor c;
    EXPECT_EQ(lzw_compressor_create(&c, width, slot_index), RC_OK);
    Bytes out(input.size() * 2 + 16, '\0');
    ByteSource in;
    byte_source_open_memory(&in, input.data(), input.size());
    BitWriter w;
    bit_writer_open_memory(&w, out.data(), out.size());
    uint32_t written;
    EXPECT_EQ(lzw_compress_step(&c, &in, &w, UINT32_MAX, &written), RC_OK);
    EXPECT_EQ(lzw_compress_finish(&c, &w), RC_OK);
    lzw_compressor_free(&c);
    out.resize(w.sink.used);
    return out;
}

TEST(LzwCompress, RefusesTablesTooSmallForTheirCodes) {
    LzwCompressor c;
    EXPECT_EQ(lzw_compressor_create(&c, 13, 12), RC_NO_OBJECT);  // 5003 slots, 8190 codes
    EXPECT_EQ(lzw_compressor_create(&c, 17, 18), RC_NO_OBJECT);
    EXPECT_EQ(lzw_compressor_create(&c, 13, 19), RC_NO_OBJECT);
}

// Other widths and tables too (where the first slots wrap around), whose
// streams the decompressor reads by their header.
TEST(LzwCompress, AgreesWithThePlainCoderForEveryWidthAndTable) {
    Bytes mixed =
        text_like(150000, 3) + random_bytes(60000, 4) + Bytes(5000, 'z') + text_like(90000, 5);
    for (auto [width, index] : {std::pair{13u, 18u},
                                {9u, 18u},
                                {12u, 18u},
                                {16u, 18u},
                                {13u, 13u},
                                {12u, 12u},
                                {10u, 10u},
                                {11u, 11u}}) {
        for (const Bytes& input : {mixed, random_bytes(70000, width), text_like(400000, index)}) {
            Bytes stream = compress_with(input, width, index);
            ASSERT_EQ(stream, reference_compress(input, width))
                << "width " << width << ", table " << index << ", " << input.size() << " bytes";
            ResultCode rc;
            ASSERT_EQ(decompress(stream, &rc), input) << "width " << width << ", table " << index;
            EXPECT_EQ(rc, RC_OK);
        }
    }
}

TEST(LzwCompress, EmptyInputWritesOnlyTheHeaderAndFails) {
    ResultCode rc;
    EXPECT_EQ(compress("", &rc), hex({0x0D}));
    EXPECT_EQ(rc, RC_UNABLE_TO_READ);
    EXPECT_EQ(decompress_result(hex({0x0D})), RC_UNABLE_TO_READ);
    EXPECT_EQ(decompress_result(""), RC_UNABLE_TO_READ);
}

TEST(LzwRoundTrip, RandomAndStructuredInputsOfManySizes) {
    std::vector<size_t> sizes;
    for (size_t n = 1; n <= 100; ++n) sizes.push_back(n);
    for (size_t n : {255, 256, 257, 511, 512, 4095, 65536, 200000, 1000000}) sizes.push_back(n);
    for (size_t n : sizes) {
        Bytes ramp(n, '\0');
        for (size_t i = 0; i < n; ++i) ramp[i] = char(i * 7 + i / 251);
        for (const Bytes& input :
             {random_bytes(n, unsigned(n)), text_like(n, unsigned(n)), Bytes(n, 'x'), ramp}) {
            ResultCode rc;
            ASSERT_EQ(decompress(compress(input), &rc), input) << "size " << n;
            ASSERT_EQ(rc, RC_OK);
        }
    }
    EXPECT_LT(compress(text_like(100000, 1)).size(), 30000u);  // text shrinks
}

// With the dictionary full after code 8190, the next code is followed by a
// CLEAR in 13 bits and the codes after it are 9-bit single bytes again.
TEST(LzwCompress, ClearsAfterCode8190) {
    Bytes input = random_bytes(30000, 7);
    Bytes stream = compress(input);
    // Codes 1..7934 take 255 x 9, 512 x 10, 1024 x 11, 2048 x 12 and
    // 4095 x 13 bits after the 8-bit header.
    size_t clear_at = 8 + 255 * 9 + 512 * 10 + 1024 * 11 + 2048 * 12 + 4095 * 13;
    BitReader r;
    bit_reader_open_memory(&r, stream.data(), stream.size());
    uint32_t code = 0;
    size_t skipped = 0;
    for (; skipped + 8 <= clear_at; skipped += 8) ASSERT_EQ(bit_reader_read(&r, 8, &code), RC_OK);
    if (skipped < clear_at) {
        ASSERT_EQ(bit_reader_read(&r, uint32_t(clear_at - skipped), &code), RC_OK);
    }
    ASSERT_EQ(bit_reader_read(&r, 13, &code), RC_OK);
    EXPECT_EQ(code, LZW_CLEAR);
    uint32_t a, b;
    ASSERT_EQ(bit_reader_read(&r, 9, &a), RC_OK);
    ASSERT_EQ(bit_reader_read(&r, 9, &b), RC_OK);
    EXPECT_TRUE(a >= 2 && a <= 257) << a;
    EXPECT_TRUE(b >= 2 && b <= 258) << b;

    // Cut the stream before that CLEAR: the decompressor's dictionary is full,
    // so code 8191 is refused while a defined code still decodes.
    std::string bits;
    for (size_t i = 0; i < clear_at; ++i)
        bits.push_back((uint8_t(stream[i / 8]) >> (7 - i % 8)) & 1 ? '1' : '0');
    std::string full = bits, beyond = bits;
    put_bits(&full, 8190, 13);
    put_bits(&beyond, 8191, 13);
    EXPECT_EQ(decompress_result(pack_bits(full)), RC_OK);
    EXPECT_EQ(decompress_result(pack_bits(beyond)), RC_UNABLE_TO_READ);
}

TEST(LzwDecompress, RefusesBadCodesAndHeaders) {
    EXPECT_EQ(decompress_result(stream_of(13, {99, 0})), RC_UNABLE_TO_READ);  // code 0
    EXPECT_EQ(decompress_result(stream_of(13, {99, 259})),
              RC_UNABLE_TO_READ);  // beyond 258, the next undefined
    EXPECT_EQ(decompress_result(stream_of(13, {258})), RC_UNABLE_TO_READ);  // first code not a byte
    EXPECT_EQ(decompress_result(stream_of(13, {LZW_CLEAR})), RC_UNABLE_TO_READ);  // nor CLEAR
    EXPECT_EQ(decompress_result(stream_of(13, {99, 1, 258})),
              RC_UNABLE_TO_READ);  // not after CLEAR either
    EXPECT_EQ(decompress_result(stream_of(19, {99})), RC_UNABLE_TO_READ);
    EXPECT_EQ(decompress_result(stream_of(255, {99})), RC_UNABLE_TO_READ);

    ResultCode rc;
    EXPECT_EQ(decompress(stream_of(13, {99, 100, LZW_CLEAR}), &rc),
              "ab");  // ends right after CLEAR
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(decompress(stream_of(13, {99, 100, LZW_CLEAR, 101, 258}), &rc),
              "abccc");  // reset, then 258 again
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(decompress(stream_of(18, {99, 258, 259}), &rc), "aaaaaa");
    EXPECT_EQ(rc, RC_OK);
    EXPECT_EQ(decompress(stream_of(0, {99, 100}), &rc), "ab");
    EXPECT_EQ(rc, RC_OK);

    Bytes abc = compress("abcabcabcabc");  // a stream cut inside a code keeps what came whole
    for (size_t n = 3; n < abc.size(); ++n) {
        Bytes part = decompress(abc.substr(0, n), &rc);
        EXPECT_EQ(rc, RC_OK) << n;
        EXPECT_EQ(part, Bytes("abcabcabcabc").substr(0, part.size())) << n;
    }
}

// A stream cut at any limit and resumed into a second output gives pieces
// whose concatenation is the stream written in one step.
TEST(LzwCompress, CutAtAnyLimitAndResumedJoinsIntoTheWholeStream) {
    Bytes input = text_like(3000, 3) + random_bytes(500, 3);
    Bytes whole = compress(input);
    ASSERT_GT(whole.size(), 400u);
    LzwCompressor c;
    ASSERT_EQ(lzw_compressor_create(&c, LZW_WIDTH, LZW_SLOT_INDEX), RC_OK);
    for (uint32_t limit = 1; limit <= 400; ++limit) {
        lzw_compressor_reset(&c);
        ByteSource in;
        byte_source_open_memory(&in, input.data(), input.size());
        Bytes first(limit, '\0'), second(whole.size(), '\0');
        BitWriter w1, w2;
        bit_writer_open_memory(&w1, first.data(), first.size());
        bit_writer_open_memory(&w2, second.data(), second.size());
        uint32_t n1, n2;
        ASSERT_EQ(lzw_compress_step(&c, &in, &w1, limit, &n1), RC_OK);
        EXPECT_LE(n1, limit);
        ASSERT_EQ(lzw_compress_step(&c, &in, &w2, UINT32_MAX, &n2), RC_OK);
        ASSERT_EQ(lzw_compress_finish(&c, &w2), RC_OK);
        EXPECT_EQ(first.substr(0, n1) + second.substr(0, w2.sink.used), whole) << "limit " << limit;
    }
    lzw_compressor_free(&c);
    // Many pieces of one size: each uses its limit less 2 and stays within
    // it, the last byte included, and the decompressor reads them one after
    // the other.
    for (uint32_t limit = 3; limit <= 300; ++limit) {
        ResultCode rc;
        std::vector<Bytes> pieces = compress_pieces(input, limit, &rc);
        ASSERT_EQ(rc, RC_OK);
        for (size_t i = 0; i < pieces.size(); ++i) {
            ASSERT_LE(pieces[i].size(), limit) << "limit " << limit << ", piece " << i;
            if (i + 1 < pieces.size()) {
                ASSERT_GE(pieces[i].size() + 2, limit) << "limit " << limit;
            }
        }
        ASSERT_EQ(join(pieces), whole) << "limit " << limit;
        if (limit % 37 != 3) continue;  // reading them back is slow; a sample does
        EXPECT_EQ(decompress_pieces(pieces, 4096, &rc), input) << "limit " << limit;
        EXPECT_EQ(rc, RC_OK);
    }
}

TEST(LzwDecompress, ResumesAfterAnyOutputLimitAndAnyInputCut) {
    Bytes input = text_like(2000, 5) + Bytes(300, 'z') + random_bytes(200, 5);
    Bytes stream = compress(input);
    ResultCode rc;
    for (uint32_t limit = 1; limit <= 300; ++limit) {
        EXPECT_EQ(decompress_pieces({stream}, limit, &rc), input) << "limit " << limit;
        EXPECT_EQ(rc, RC_OK);
    }
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        EXPECT_EQ(decompress_pieces({stream.substr(0, cut), stream.substr(cut)}, 97, &rc), input)
            << "cut " << cut;
        EXPECT_EQ(rc, RC_OK);
    }
}

namespace {

// The decompressor's rules written plainly: one (prefix, byte) entry per
// code, each string found by following prefixes from its end.
Bytes reference_decompress(const Bytes& stream) {
    BitReader r;
    bit_reader_open_memory(&r, stream.data(), stream.size());
    uint32_t header = 0;
    if (bit_reader_read(&r, 8, &header) != RC_OK) return "";
    const uint32_t table_max = (1u << std::clamp(header, 9u, 16u)) - 1;
    std::vector<std::pair<uint32_t, uint8_t>> entry(table_max + 1);
    auto string_of = [&](uint32_t code) {
        Bytes s;
        for (; code > LZW_LAST_INITIAL; code = entry[code].first)
            s.push_back(char(entry[code].second));
        s.push_back(char(code - LZW_FIRST_BYTE_CODE));
        std::reverse(s.begin(), s.end());
        return s;
    };
    Bytes out, prev;
    uint32_t count = LZW_LAST_INITIAL, width = 9, code = 0, prev_code = 0;
    bool fresh = true;
    while (bit_reader_read(&r, width, &code) == RC_OK) {
        if (code == LZW_CLEAR) {
            count = LZW_LAST_INITIAL;
            width = 9;
            fresh = true;
            continue;
        }
        if (fresh) {
            prev = string_of(code);
            out += prev;
            prev_code = code;
            fresh = false;
            continue;
        }
        Bytes s = code <= count ? string_of(code) : prev + prev[0];
        out += s;
        if (count + 1 < table_max) {
            entry[++count] = {prev_code, uint8_t(s[0])};
            if (count == (1u << width) - 1) ++width;
        }
        prev = s;
        prev_code = code;
    }
    return out;
}

// A valid stream of codes with header `header`, in segments of
// `per_clear` codes ended by CLEAR: 300 random codes (any defined one or
// the one about to be defined), then a chain of `chain` codes each the one
// about to be defined, whose strings grow by one byte each (megabytes in
// all), then random codes again, which bring back strings written long
// before the chain.
Bytes random_code_stream(uint32_t header, size_t codes, size_t per_clear, size_t chain,
                         unsigned seed) {
    std::mt19937 rng(seed);
    const uint32_t table_max = (1u << header) - 1;
    std::string bits;
    put_bits(&bits, header, 8);
    uint32_t count = LZW_LAST_INITIAL, width = 9;
    for (size_t i = 0; i < codes; ++i) {
        size_t at = i % per_clear;
        if (at == per_clear - 1) {
            put_bits(&bits, LZW_CLEAR, int(width));
            count = LZW_LAST_INITIAL;
            width = 9;
            continue;
        }
        uint32_t highest = count + 1 < table_max ? count + 1 : count;
        uint32_t code = at == 0 ? 2 + rng() % 256 : 2 + rng() % (highest - 1);
        if (at >= 300 && at < 300 + chain) code = highest;
        put_bits(&bits, code, int(width));
        if (at != 0 && count + 1 < table_max) {
            if (++count == (1u << width) - 1) ++width;
        }
    }
    return pack_bits(bits);
}

}  // namespace

// Long strings that run the output past the decompressor's history, so
// that strings written long before are rebuilt from their entries; read
// whole and in steps of many sizes, also across a cut of the stream.
TEST(LzwDecompress, AgreesWithThePlainDecoderOnLongStrings) {
    for (auto [header, codes, per_clear] :
         {std::tuple{13u, 8000u, 4000u}, {16u, 4000u, 100000u}, {10u, 5000u, 100000u}}) {
        Bytes stream = random_code_stream(header, codes, per_clear, 3300, header);
        Bytes expected = reference_decompress(stream);
        ASSERT_GT(expected.size(), header == 10 ? 100000u : 6000000u);
        ResultCode rc;
        for (uint32_t limit : {1u << 20, 65536u, 40000u, 4093u}) {
            Bytes out = decompress_pieces({stream}, limit, &rc);
            ASSERT_EQ(rc, RC_OK) << "header " << header << ", limit " << limit;
            ASSERT_TRUE(out == expected) << "header " << header << ", limit " << limit;
        }
        size_t cut = stream.size() / 3;
        Bytes out = decompress_pieces({stream.substr(0, cut), stream.substr(cut)}, 1 << 20, &rc);
        ASSERT_EQ(rc, RC_OK);
        ASSERT_TRUE(out == expected) << "header " << header << ", cut";
    }
}
