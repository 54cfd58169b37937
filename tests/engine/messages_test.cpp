#include "engine/messages.h"

#include <gtest/gtest.h>

namespace {

std::string report(const PathParts& parts, int32_t line, int depth, int32_t code) {
    std::string out;
    OutputLog log;
    log.publish = [&](const std::string& l) { out += l; };
    engine_report(&log, parts, line, depth, code);
    return out;
}

}  // namespace

TEST(EngineReport, LaysOutIndentPathMessageAndLine) {
    PathParts prd{"C:\\kit", "", "win95", "prd"};
    EXPECT_EQ(report(prd, 12, 2, RC_UNABLE_TO_PARSE),
              "  C:\\kit\\win95.prd: Unable to Parse on line 12\r\n");
    EXPECT_EQ(report(prd, NO_LINE, 0, RC_EMPTY), "C:\\kit\\win95.prd: Empty\r\n");
    EXPECT_EQ(report(prd, 0, 4, RC_EMPTY), "    C:\\kit\\win95.prd: Empty on line 0\r\n");
    EXPECT_EQ(report(PathParts{"", ".", "", ""}, NO_LINE, 0, RC_INVALID_SLOP_SIZE),
              ": Invalid Slop Size. Using default size of 0\r\n");
}

TEST(EngineReport, TextMessagesOfSeveralLinesStandUnderTheFirst) {
    std::string out;
    OutputLog log;
    log.publish = [&](const std::string& l) { out += l; };
    engine_report_text(&log, 2, "core.map",
                       "Block allocation has changed.\nPlease run Diskward again.");
    engine_report_text(&log, 0, "", "one\ntwo", 7);
    engine_report_text(&log, 4, "C:\\kit\\core.map", "102020");
    EXPECT_EQ(out,
              "  core.map: Block allocation has changed.\r\n"
              "            Please run Diskward again.\r\n"
              ": one\r\n"
              "  two on line 7\r\n"
              "    C:\\kit\\core.map: 102020\r\n");
}

TEST(EngineMessage, GapsPrintUnexpectedError) {
    for (int32_t code : {1, 5, 7, 24, 30, 50, 52, 999, 1007, 1022, -1})
        EXPECT_EQ(engine_message(code), "Unexpected Error") << code;
    EXPECT_EQ(engine_message(8), "User Cancelled");
    EXPECT_EQ(engine_message(20), "Unable To Read");
    EXPECT_EQ(engine_message(21), "Unable to Write");
    EXPECT_EQ(engine_message(1003), "Invalid Media Size.");
    EXPECT_EQ(engine_message(1018), "Invalid target location relative to source");
    EXPECT_EQ(engine_message(4), "Text Too Long");
    EXPECT_EQ(engine_message(53), "Sharing Violation");
    EXPECT_EQ(engine_message(1019), "Size Does Not Fit 32 Bits");
    EXPECT_EQ(engine_message(1020), "Invalid Volume Label");
    EXPECT_EQ(engine_message(1021), "Target is not a directory");
}

TEST(OutputLog, PublishesOnlyEndedLinesAndRefusesANullLog) {
    std::vector<std::string> lines;
    OutputLog log;
    log.publish = [&](const std::string& l) { lines.push_back(l); };
    log_indent(&log);
    log_text(&log, "a\nb");
    log_int(&log, -2147483647 - 1);
    log_unsigned(&log, 4294967295u);
    EXPECT_TRUE(lines.empty());
    log_end_line(&log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], " a\nb-21474836484294967295\r\n");
    EXPECT_EQ(log_text(nullptr, "x"), RC_OS_ERROR);
    EXPECT_EQ(log_end_line(nullptr), RC_OS_ERROR);
}
