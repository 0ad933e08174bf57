#include "platform/registry_file.h"

#include "platform/exception.h"

#include <gtest/gtest.h>

namespace {

const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick";

RegistryFile parse(const std::string& text) {
    return RegistryFile::parse(text, "registry.reg");
}

std::string parseError(const std::string& text) {
    try {
        parse(text);
    } catch (const Exception& e) {
        return e.message;
    }
    return "(no error)";
}

TEST(RegistryFile, ReadsIntegersStringsAndOtherTypes) {
    const RegistryFile file = parse("REGEDIT4\n"
                                    "\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
                                    "\"resolution\"=dword:0000000a\n"
                                    "\"sound\"=dword:ffffffff\n"
                                    "\"customize\"=\"a \\\"b\\\" c:\\\\d\"\n"
                                    "\"binary\"=hex:01,02\n"
                                    "\"expand\"=hex(2):41,00\n"
                                    "\"short\"=dword:123\n"
                                    "\"bare\"=10\n"
                                    "  \"spaced\" = \"x\"  \n");
    EXPECT_TRUE(file.hasSection(key));
    EXPECT_EQ(file.value(key, "resolution")->type, RegistryValue::Type::Integer);
    EXPECT_EQ(file.value(key, "resolution")->integer, 10);
    EXPECT_EQ(file.value(key, "sound")->integer, -1);
    EXPECT_EQ(file.value(key, "customize")->type, RegistryValue::Type::String);
    EXPECT_EQ(file.value(key, "customize")->string, "a \"b\" c:\\d");
    EXPECT_EQ(file.value(key, "spaced")->string, "x");
    for (const char* other : {"binary", "expand", "short", "bare"}) {
        EXPECT_EQ(file.value(key, other)->type, RegistryValue::Type::Other) << other;
    }
    EXPECT_FALSE(file.value(key, "missing"));
    EXPECT_FALSE(file.value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "resolution"));
}

TEST(RegistryFile, NamesCompareWithoutRegardToCaseAndTheLaterValueWins) {
    const RegistryFile file = parse("REGEDIT4\n"
                                    "[hkey_local_machine\\software\\velloran\\TARNWICK]\n"
                                    "\"Resolution\"=dword:00000001\n"
                                    "\"RESOLUTION\"=dword:00000002\n");
    EXPECT_TRUE(file.hasSection(key));
    EXPECT_EQ(file.value(key, "resolution")->integer, 2);
}

TEST(RegistryFile, TakesCrlfCommentsBomAndNoTrailingNewline) {
    const RegistryFile file = parse("\xEF\xBB\xBF; written by hand\r\nREGEDIT4\r\n\r\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\r\n"
                                    "; the chosen mode\r\n"
                                    "\"resolution\"=dword:00000003");
    EXPECT_EQ(file.value(key, "resolution")->integer, 3);
    EXPECT_EQ(file.serialise().find("\r\n; the chosen mode\r\n") != std::string::npos, true);
}

TEST(RegistryFile, BinaryDataOverSeveralLinesIsOneValueOfAnotherType) {
    RegistryFile file = parse("REGEDIT4\n[" + key +
                              "]\n\"blob\"=hex:01,02,\\\n  03,04\n"
                              "\"resolution\"=dword:00000001\n");
    EXPECT_EQ(file.value(key, "blob")->type, RegistryValue::Type::Other);
    file.setInteger(key, "blob", 5);
    EXPECT_EQ(file.serialise(),
              "REGEDIT4\n[" + key + "]\n\"blob\"=dword:00000005\n\"resolution\"=dword:00000001\n");
}

TEST(RegistryFile, AValueAddedAfterAnOpenContinuationStaysAValueOfItsOwn) {
    RegistryFile file = parse("REGEDIT4\n[" + key + "]\n\"blob\"=hex:01,\\");
    file.setInteger(key, "resolution", 7);
    EXPECT_EQ(parse(file.serialise()).value(key, "resolution")->integer, 7);
}

TEST(RegistryFile, EveryLineKeepsItsOwnLineEndSoAStrayCrIsNotReadBackAsOne) {
    // The first line ends in LF, the rest in CR LF; the continued data's last line ends in a
    // backslash and a stray CR, so it does not run on. Written with a bare LF after that CR,
    // the CR would become part of the line end and the line would swallow the next value.
    const std::string text = "REGEDIT4\n"
                             "[hkey_local_machine\\software\\velloran\\tarnwick]\r\n"
                             "\"Resolution\"=hex:01,02,\\\r\n"
                             "\xb2,\\\r\r\n"
                             "\"Resolution\"=\n"
                             "[Other]\r\n"
                             "\"resolution\"=dword:0000000a\n";
    RegistryFile file = parse(text);
    EXPECT_EQ(file.serialise(), text);
    EXPECT_EQ(file.value(key, "resolution")->type, RegistryValue::Type::Other);
    EXPECT_EQ(parse(file.serialise()).value(key, "resolution")->type, RegistryValue::Type::Other);

    file.setInteger(key, "resolution", 7);
    file.setString(key, "customize", "x");
    EXPECT_EQ(file.serialise(), "REGEDIT4\n"
                                "[hkey_local_machine\\software\\velloran\\tarnwick]\r\n"
                                "\"Resolution\"=hex:01,02,\\\r\n"
                                "\xb2,\\\r\r\n"
                                "\"Resolution\"=dword:00000007\n"
                                "\"customize\"=\"x\"\n"
                                "[Other]\r\n"
                                "\"resolution\"=dword:0000000a\n");
    const RegistryFile back = parse(file.serialise());
    EXPECT_EQ(back.value(key, "resolution")->integer, 7);
    EXPECT_EQ(back.value(key, "customize")->string, "x");
    EXPECT_EQ(back.value("Other", "resolution")->integer, 10);

    // The same on a last line without a line end.
    RegistryFile last = parse("REGEDIT4\n[" + key + "]\n\"blob\"=hex:01,\\\r\r");
    last.setInteger(key, "resolution", 3);
    const auto resolution = parse(last.serialise()).value(key, "resolution");
    ASSERT_TRUE(resolution);
    EXPECT_EQ(resolution->type, RegistryValue::Type::Integer);
    EXPECT_EQ(resolution->integer, 3);
}

TEST(RegistryFile, ContentItCannotReadIsReportedWithFileAndLine) {
    EXPECT_EQ(parseError("hello\n"),
              "registry.reg line 1: the file does not start with \"REGEDIT4\"");
    EXPECT_EQ(parseError("REGEDIT4\n\"a\"=dword:00000001\n"),
              "registry.reg line 2: a value before the first [section]");
    EXPECT_EQ(parseError("REGEDIT4\n[" + key + "]\n\n\"a\"=\"open\n"),
              "registry.reg line 4: the string has no closing double quote");
    EXPECT_EQ(parseError("REGEDIT4\n[" + key + "]\n\"a\"=\"x\" y\n"),
              "registry.reg line 3: unexpected text after the string's closing double quote");
    EXPECT_EQ(parseError("REGEDIT4\n[" + key + "]\n\"a\n"),
              "registry.reg line 3: the value name has no closing double quote");
    EXPECT_EQ(parseError("REGEDIT4\n[" + key + "]\n\"a\" dword:1\n"),
              "registry.reg line 3: expected = after the value name");
    EXPECT_EQ(parseError("REGEDIT4\n[" + key + "\n"),
              "registry.reg line 2: a section name must be written as [name]");
    EXPECT_EQ(parseError("REGEDIT4\nresolution=1\n"),
              "registry.reg line 2: expected [section], \"name\"=value or a ; comment");
    EXPECT_EQ(parseError(std::string("REGEDIT4\n[a]\n\"x\"=\"\0\"\n", 19)),
              "registry.reg line 3: holds a zero byte; it is not a REGEDIT4 text file");
    // A registry export in UTF-16 is recognised as not ours rather than misread.
    EXPECT_EQ(parseError(std::string("\xFF\xFER\0E\0", 6)).substr(0, 20), "registry.reg line 1:");
    EXPECT_NE(parseError(std::string(RegistryFile::maxBytes + 1, ';')).find("larger than"),
              std::string::npos);
}

TEST(RegistryFile, AnEmptyFileHasNoSections) {
    EXPECT_FALSE(parse("").hasSection(key));
    EXPECT_FALSE(parse("\n\n").hasSection(key));
    EXPECT_FALSE(parse("REGEDIT4\n").hasSection(key));
}

TEST(RegistryFile, WritingIntoNothingCreatesSignatureSectionAndValues) {
    RegistryFile file;
    file.setInteger(key, "resolution", 10);
    file.setInteger(key, "sound", -1);
    file.setString(key, "customize", "\"a b\",c\\d");
    EXPECT_EQ(file.serialise(), "REGEDIT4\n"
                                "\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velloran\\Tarnwick]\n"
                                "\"resolution\"=dword:0000000a\n"
                                "\"sound\"=dword:ffffffff\n"
                                "\"customize\"=\"\\\"a b\\\",c\\\\d\"\n");
    const RegistryFile back = parse(file.serialise());
    EXPECT_EQ(back.value(key, "customize")->string, "\"a b\",c\\d");
    EXPECT_EQ(back.value(key, "sound")->integer, -1);
}

TEST(RegistryFile, WritingKeepsEveryOtherSectionValueAndComment) {
    const std::string before = "REGEDIT4\n"
                               "; kept\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
                               "\"resolution\"=dword:00000007\n"
                               "\n"
                               "[hkey_local_machine\\SOFTWARE\\Velloran\\Tarnwick]\n"
                               "\"Resolution\"=hex:00\n"
                               "\"extra\"=\"stay\"\n"
                               "\n"
                               "[HKEY_CURRENT_USER\\Last]\n"
                               "@=\"default\"\n";
    RegistryFile file = parse(before);
    file.setInteger(key, "resolution", 2);
    file.setString(key, "customize", "");
    EXPECT_EQ(file.serialise(), "REGEDIT4\n"
                                "; kept\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
                                "\"resolution\"=dword:00000007\n"
                                "\n"
                                "[hkey_local_machine\\SOFTWARE\\Velloran\\Tarnwick]\n"
                                "\"Resolution\"=dword:00000002\n"
                                "\"extra\"=\"stay\"\n"
                                "\"customize\"=\"\"\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\Last]\n"
                                "@=\"default\"\n");
}

TEST(RegistryFile, StringsWithLineBreaksOrZeroBytesStayOnOneLine) {
    RegistryFile file = parse("REGEDIT4\n");
    file.setString(key, "customize", "one\ntwo\r");
    file.setString(key, "cut", std::string("ab\0cd", 5));
    const RegistryFile back = parse(file.serialise());
    EXPECT_EQ(back.value(key, "customize")->string, "one\ntwo\r");
    EXPECT_EQ(back.value(key, "cut")->string, "ab");
}

} // namespace
