// Compressed names and the names of the pieces of split files.
#include "media/copy_names.h"

#include <gtest/gtest.h>

namespace {

// The names of all `count` pieces of `path`, joined by "|"; the result code
// when one cannot be named.
std::string piece_names(const std::string& path, uint32_t count) {
    std::string out;
    for (uint32_t piece = 1; piece <= count; ++piece) {
        std::string name;
        ResultCode rc = copy_piece_name(path, piece, piece == count, &name);
        if (rc != RC_OK) return "rc " + std::to_string(rc);
        out += (piece > 1 ? "|" : "") + name;
    }
    return out;
}

}  // namespace

TEST(CopyNames, CompressedNameMarksTheBaseNameAndKeepsTheRest) {
    EXPECT_EQ(copy_compressed_name("setup.exe"), "_setup.exe");
    EXPECT_EQ(copy_compressed_name("abcdefgh.dll"), "_bcdefgh.dll");
    EXPECT_EQ(copy_compressed_name("a.b"), "_a.b");
    EXPECT_EQ(copy_compressed_name("Z:\\kit\\core\\diskward\\setup.exe"),
              "Z:\\kit\\core\\diskward\\_setup.exe");
}

TEST(CopyNames, PiecesReplaceOneCharacterWithDigitsEndingInZero) {
    EXPECT_EQ(piece_names("data.cab", 3), "1ata.cab|2ata.cab|0ata.cab");
    EXPECT_EQ(piece_names("data.cab", 2), "1ata.cab|0ata.cab");
    // A "_" in the place passes it on; "1" there starts the pieces at "2".
    EXPECT_EQ(piece_names("_data.cab", 3), "_1ata.cab|_2ata.cab|_0ata.cab");
    EXPECT_EQ(piece_names("1abc.dat", 4), "2abc.dat|3abc.dat|4abc.dat|0abc.dat");
    // Eight characters: the second one is replaced, so the first (the
    // compressed mark included) survives.
    EXPECT_EQ(piece_names("abcdefgh.dll", 2), "a1cdefgh.dll|a0cdefgh.dll");
    EXPECT_EQ(piece_names(copy_compressed_name("abcdefgh.dll"), 2), "_1cdefgh.dll|_0cdefgh.dll");
    EXPECT_EQ(piece_names("a_cdefgh.dll", 2), "a_1defgh.dll|a_0defgh.dll");
    EXPECT_EQ(piece_names("A:\\sub\\data.cab", 2), "A:\\sub\\1ata.cab|A:\\sub\\0ata.cab");
}

TEST(CopyNames, FilesNeedingADigitBeyondNineOrWithNoPlaceAreRefused) {
    EXPECT_EQ(copy_pieces_check("data.cab", 10), RC_OK);
    EXPECT_EQ(piece_names("data.cab", 10).substr(0, 8), "1ata.cab");
    EXPECT_NE(piece_names("data.cab", 10).find("9ata.cab|0ata.cab"), std::string::npos);
    EXPECT_EQ(copy_pieces_check("data.cab", 11), RC_INVALID_FILE_NAME);
    EXPECT_EQ(copy_pieces_check("1abc.dat", 9), RC_OK);
    EXPECT_EQ(copy_pieces_check("1abc.dat", 10), RC_INVALID_FILE_NAME);
    // One piece keeps the file's own name, whatever it is.
    EXPECT_EQ(copy_pieces_check("_", 1), RC_OK);
    EXPECT_EQ(copy_pieces_check("_", 2), RC_INVALID_FILE_NAME);
    EXPECT_EQ(copy_pieces_check(".cab", 2), RC_INVALID_FILE_NAME);
    std::string name;
    EXPECT_EQ(copy_piece_name("data.cab", 0, false, &name), RC_INVALID_FILE_NAME);
}
