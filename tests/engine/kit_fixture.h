// A staging area in a temporary folder for the engine's end-to-end tests:
// product and map rows, a two-product kit, and the run on it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "support/test_support.h"
#include "sys/host_io.h"

inline const std::string kMapHeader =
    "#Name Subgroup Source Destination Size Instantiate? Append? Compress? StartDisk "
    "TotalDisks Icon Group Item Command\n\n";

inline std::string map_row(const std::string& group, const std::string& source, uint32_t size) {
    return group + " \"\" \"" + source + "\" \"%TARGET%\\" + source + "\" " + std::to_string(size) +
           " false false false 0 0 0 \"\" \"\" \"\"\n";
}

// The lines of a file the engine writes, each ended with CR LF.
inline std::string crlf_lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

inline std::string product_row(int number, const std::string& name, const std::string& parent,
                               const std::string& location, const std::string& version = "1.0") {
    return std::to_string(number) + " " + name + " " + parent + " \"" + name + "\" \"" + version +
           "\" \"" + name + " label\" \"" + location + "\" 0 true false false \"\" \"V1\"\n";
}

class KitTest : public ::testing::Test {
protected:
    TempDir kit;
    EngineRun e;
    std::string root = engine_path(kit.path());

    void TearDown() override { file_services_faults_clear(); }
    // Every file of the kit (links not followed) with its bytes, so that a
    // test can tell that a run changed nothing.
    std::map<std::string, std::string> snapshot() {
        namespace fs = std::filesystem;
        std::map<std::string, std::string> files;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kit.path())) {
            if (entry.is_symlink() || !entry.is_regular_file()) continue;
            std::string path = entry.path().string().substr(kit.path().size() + 1);
            files[path] = entry.file_size() > 1000000 ? "large" : read_host_file(entry.path());
        }
        return files;
    }

    void file(const std::string& path, const std::string& bytes) {
        write_host_file(kit.at(path), bytes);
    }
    std::string read(const std::string& path) { return read_host_file(kit.at(path)); }
    // A kit of two products: core (a.txt of 10 bytes, sub/b.dat of 3) and
    // docs (guide.txt of 5), with a version product already in place.
    void two_products() {
        file("win95.prd",
             "0 win95instver root \"\" \"3.2.1.0.0\" \"Installer Version\" \"\" 0 "
             "false false false \"\" \"\"\n" +
                 product_row(1, "core", "root", "core") + product_row(2, "docs", "root", "docs"));
        file("core/a.txt", std::string(10, 'a'));
        file("core/sub/b.dat", "bbb");
        file("core/core.map",
             kMapHeader + map_row("G", "a.txt", 10) + map_row("G", "sub\\b.dat", 3));
        file("docs/guide.txt", "guide");
        file("docs/docs.map", kMapHeader + map_row("Docs", "guide.txt", 5));
    }
    // The first two lines of a run's report: the kit and its product file.
    std::string opening() { return root + "\r\n" + "  " + root + "\\win95.prd\r\n"; }
    // The lines of core in two_products() when nothing in it changed.
    std::string core_lines() {
        return "    " + root + "\\core\\core.map\r\n" + "      core.map Superfluous\r\n" + "    " +
               root + "\\core\\core.map: 13\r\n";
    }
    // The lines of docs in two_products() when nothing in it changed.
    std::string docs_lines() {
        return "    " + root + "\\docs\\docs.map\r\n" + "      docs.map Superfluous\r\n" + "    " +
               root + "\\docs\\docs.map: 5\r\n";
    }
    ResultCode run(std::vector<std::string> extra = {}) {
        std::vector<std::string> words{root, "-o", "win95"};
        words.insert(words.end(), extra.begin(), extra.end());
        return e.run(words);
    }
};
