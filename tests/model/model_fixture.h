// A runtime with the model's value types, and readers over texts written
// to temporary files, for the table reader and writer tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "media/volume_map.h"
#include "model/group.h"
#include "model/product.h"
#include "runtime/atoms.h"
#include "runtime/namespaces.h"
#include "runtime/reader.h"
#include "runtime/strings.h"
#include "runtime/values.h"
#include "support/test_support.h"
#include "sys/text_file.h"

class ModelTest : public ::testing::Test {
protected:
    RuntimeContext* rt = rt_create();
    Namespace* ns = nullptr;
    SymbolTable* atoms = nullptr;
    Reader* reader = nullptr;
    TempDir dir;

    ModelTest() {
        volume_map_register(rt);
        product_register(rt);
        group_register(rt);
        ns = namespace_new(rt, nullptr, 57);
        atoms = symtab_new(rt, 7);
    }
    ~ModelTest() override {
        if (reader) reader_close(rt, reader);
        atom_table_destroy(rt, atoms);
        namespace_destroy(rt, ns, string_free, value_release);
        rt_destroy(rt);
    }

    // Opens a reader on `text`, written as the file `name`.
    Reader* read_text(const std::string& text, const std::string& name = "table.txt") {
        if (reader) reader_close(rt, reader);
        write_host_file(dir.at(name), text);
        PathParts parts = path_split(engine_path(dir.at(name)));
        reader = reader_open(rt, atoms, nullptr, ns, false, false, parts.absolute, "", parts.base,
                             parts.extension);
        return reader;
    }

    // Runs `write` on a text file and gives back the bytes written.
    template <typename Write>
    std::string written(Write write, ResultCode* code = nullptr) {
        TextFile* out = nullptr;
        std::string path = engine_path(dir.at("out.txt"));
        EXPECT_EQ(text_file_open_write(&out, path, "", "", ""), RC_OK);
        ResultCode rc = write(out);
        EXPECT_EQ(text_file_close(out), RC_OK);
        if (code) *code = rc;
        return read_host_file(dir.at("out.txt"));
    }
};

// The text with every line feed turned into CR LF, as the writers write it.
inline std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}
