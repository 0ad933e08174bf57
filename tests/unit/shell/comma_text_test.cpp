#include "shell/comma_text.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(CommaTextTest, WritingQuotesOnlyLinesWithBlanksControlsQuotesOrCommas) {
    EXPECT_EQ(commaText({}), "");
    EXPECT_EQ(commaText({""}), "\"\"");
    EXPECT_EQ(commaText({"a blank", "", "a,comma"}), "\"a blank\",,\"a,comma\"");
    EXPECT_EQ(commaText({"plain", "//note"}), "plain,//note");
    EXPECT_EQ(commaText({"say \"hi\""}), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(commaText({"tab\there", "x"}), "\"tab\there\",x");
    EXPECT_EQ(commaText({"a", ""}), "a,");
    EXPECT_EQ(commaText({"", ""}), ",");
    EXPECT_EQ(commaText({"caf\xc3\xa9"}), "caf\xc3\xa9");
}

TEST(CommaTextTest, ReadingUndoesQuotesAndSplitsOnCommasAndUnquotedBlanks) {
    EXPECT_EQ(parseCommaText(""), Lines{});
    EXPECT_EQ(parseCommaText("\"\""), Lines{""});
    EXPECT_EQ(parseCommaText("\"a blank\",,\"a,comma\""), (Lines{"a blank", "", "a,comma"}));
    EXPECT_EQ(parseCommaText("one two  three"), (Lines{"one", "two", "three"}));
    EXPECT_EQ(parseCommaText("  lead , trail  "), (Lines{"lead", "trail"}));
    EXPECT_EQ(parseCommaText("a,"), Lines{"a"});
    EXPECT_EQ(parseCommaText(","), Lines{""});
    EXPECT_EQ(parseCommaText(",a"), (Lines{"", "a"}));
    EXPECT_EQ(parseCommaText("\"say \"\"hi\"\"\""), Lines{"say \"hi\""});
    EXPECT_EQ(parseCommaText("\"x\"y"), (Lines{"x", "y"}));
    EXPECT_EQ(parseCommaText("a\"b"), Lines{"a\"b"});
}

TEST(CommaTextTest, ReadingToleratesUnterminatedQuotesAndStopsAtAZeroByte) {
    EXPECT_EQ(parseCommaText("\"never closed, really"), Lines{"never closed, really"});
    EXPECT_EQ(parseCommaText("\""), Lines{""});
    EXPECT_EQ(parseCommaText(std::string("a,b\0,c", 6)), (Lines{"a", "b"}));
    EXPECT_EQ(parseCommaText("\x7f\xff,\x01x"), (Lines{"\x7f\xff", "x"}));
}

TEST(CommaTextTest, ListsRoundTripExceptForAnEmptyLastLineWhichIsLost) {
    const std::vector<Lines> kept = {{},
                                     {""},
                                     {"a blank", "", "a,comma"},
                                     {"", "x"},
                                     {"\"", "\"\"", ",", " "},
                                     {"line\nbreak", "//comment"}};
    for (const auto& lines : kept) {
        EXPECT_EQ(parseCommaText(commaText(lines)), lines) << commaText(lines);
    }
    EXPECT_EQ(parseCommaText(commaText({"a", "b", ""})), (Lines{"a", "b"}));
}

} // namespace
