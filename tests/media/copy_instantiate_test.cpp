// Instantiation of variable references, whatever the chunks they arrive in.
#include "media/copy_instantiate.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

// Values by name; unknown names fail with RC_UNKNOWN_PRODUCT_NAME so that a test sees it.
ResultCode lookup_table(void* context, void* context2, std::string_view reference,
                        std::string* value) {
    auto* table = static_cast<std::map<std::string, std::string>*>(context);
    ++*static_cast<int*>(context2);
    auto found = table->find(std::string(reference));
    if (found == table->end()) return RC_UNKNOWN_PRODUCT_NAME;
    *value = found->second;
    return RC_OK;
}

struct Outcome {
    ResultCode rc = RC_OK;
    std::string text;
    int lookups = 0;
};

// Instantiates `input` in chunks of `chunk` bytes, then finishes.
Outcome instantiate(const std::string& input, uint32_t chunk,
                    std::map<std::string, std::string> table) {
    Outcome out;
    auto state = std::make_unique<Instantiation>();
    instantiation_init(state.get(), lookup_table, &table, &out.lookups);
    ByteSource in;
    byte_source_open_memory(&in, input.data(), input.size());
    std::string room(input.size() * 4 + 4096, '\0');
    ByteSink sink;
    byte_sink_open_memory(&sink, room.data(), room.size());
    for (;;) {
        uint32_t moved = 0;
        out.rc = instantiation_copy(state.get(), &in, &sink, chunk, &moved);
        if (out.rc != RC_OK) break;
        EXPECT_LE(moved, chunk);
        if (moved < chunk) {
            out.rc = instantiation_finish(state.get());
            break;
        }
    }
    out.text.assign(room.data(), sink.used);
    return out;
}

const std::map<std::string, std::string> values = {
    {"%PRODUCT%", "Veltra Kit"}, {"%VER%", "4.1"}, {"%EMPTY%", ""}};

}  // namespace

TEST(CopyInstantiate, ReferencesAreReplacedWhereverTheChunksCutThem) {
    const std::string input = "Install %PRODUCT% %VER% now: 100%% sure%EMPTY%.\r\n%VER%";
    const std::string expected = "Install Veltra Kit 4.1 now: 100% sure.\r\n4.1";
    for (uint32_t chunk = 1; chunk <= input.size() + 1; ++chunk) {
        Outcome out = instantiate(input, chunk, values);
        EXPECT_EQ(out.rc, RC_OK) << "chunk " << chunk;
        EXPECT_EQ(out.text, expected) << "chunk " << chunk;
        EXPECT_EQ(out.lookups, 4) << "chunk " << chunk;  // "%%" is no lookup
    }
}

TEST(CopyInstantiate, AReferenceLeftOpenAtTheEndIsAReadFailure) {
    for (uint32_t chunk : {1u, 3u, 100u}) {
        Outcome open = instantiate("text %VER", chunk, values);
        EXPECT_EQ(open.rc, RC_UNABLE_TO_READ);
        EXPECT_EQ(open.text, "text ");
        EXPECT_EQ(instantiate("ends in %", chunk, values).rc, RC_UNABLE_TO_READ);
        EXPECT_EQ(instantiate("%VER%%", chunk, values).rc, RC_UNABLE_TO_READ);
    }
}

TEST(CopyInstantiate, AReferenceMustFitItsBufferWithTerminator) {
    // "%" + 1021 characters + "%" and the terminator fill 1024 exactly.
    const std::string fits = "%" + std::string(1021, 'N') + "%";
    std::map<std::string, std::string> table = values;
    table[fits] = "ok";
    for (uint32_t chunk : {7u, 5000u}) {
        Outcome out = instantiate("<" + fits + ">", chunk, table);
        EXPECT_EQ(out.rc, RC_OK);
        EXPECT_EQ(out.text, "<ok>");
        Outcome too_long = instantiate("<%" + std::string(1022, 'N') + "%>", chunk, table);
        EXPECT_EQ(too_long.rc, RC_OS_ERROR);
        EXPECT_EQ(too_long.lookups, 0);
    }
    table["%BIG%"] = std::string(1025, 'v');
    EXPECT_EQ(instantiate("%BIG%", 64, table).rc, RC_OS_ERROR);
    table["%BIG%"] = std::string(1024, 'v');
    EXPECT_EQ(instantiate("%BIG%", 64, table).text, std::string(1024, 'v'));
}

TEST(CopyInstantiate, ALookupFailureEndsTheCopyWithItsResult) {
    Outcome out = instantiate("a %NOPE% b", 4, values);
    EXPECT_EQ(out.rc, RC_UNKNOWN_PRODUCT_NAME);
    EXPECT_EQ(out.text, "a ");
}
