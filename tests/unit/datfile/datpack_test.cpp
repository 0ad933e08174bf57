#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output; // standard output and error together
};

Outcome datpack(const std::vector<std::string>& args) {
    std::string command = "'" DATPACK_PATH "'";
    for (const std::string& arg : args) {
        command += " '" + arg + "'";
    }
    command += " 2>&1";
    Outcome run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.output.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string writeText(const std::string& text, const std::string& name) {
    return writeTempFile(Bytes(text.begin(), text.end()), name);
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

TEST(Datpack, PacksEntriesInOrderWithPicturesStoredAsTheyAre) {
    const Bytes logo = makeJpeg(32, 16);
    const Bytes smoke = makeJpeg(8, 8);
    const std::string logoPath = writeTempFile(logo, "logo.jpg");
    const std::string smokePath = writeTempFile(smoke, "smoke.jpg");
    const std::string mesh =
        writeText("# a triangle\n3 1\n\n0 0 0\n1 0 0\n0 1.5 -2\n0 1 2\n", "triangle.txt");
    const std::string out = tempFolder() + "/packed.dat";

    const Outcome run = datpack({out, "logo1.bmp=" + logoPath, "beep.snd", "tri.off=" + mesh,
                                 "notes.txt", "SMOKE.BMP=" + smokePath});
    ASSERT_EQ(run.status, 0) << run.output;

    const Bytes expected =
        dataFile({"logo1.bmp", "beep.snd", "tri.off", "notes.txt", "SMOKE.BMP"},
                 picturePayload(logo) + int32Bytes(3) + int32Bytes(1) + floatBytes(0) +
                     floatBytes(0) + floatBytes(0) + floatBytes(1) + floatBytes(0) + floatBytes(0) +
                     floatBytes(0) + floatBytes(1.5f) + floatBytes(-2) + int32Bytes(0) +
                     int32Bytes(1) + int32Bytes(2) + picturePayload(smoke));
    EXPECT_EQ(readBytes(out), expected);
    EXPECT_FALSE(std::filesystem::exists(out + ".tmp"));
}

TEST(Datpack, ListShowsIndexNameKindPayloadBytesAndContents) {
    const Bytes logo = makeJpeg(32, 16);
    const std::string path =
        writeTempFile(dataFile({"logo1.bmp", "beep.snd", "m.off", "x.y.bmp"},
                               picturePayload(logo) + int32Bytes(0) + int32Bytes(0)),
                      "list.dat");
    const Outcome run = datpack({"--list", path});
    ASSERT_EQ(run.status, 0) << run.output;

    std::istringstream lines(run.output);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(words(line));
    }
    ASSERT_EQ(rows.size(), 5u) << run.output;
    EXPECT_EQ(rows[0], (std::vector<std::string>{"index", "name", "kind", "payload", "contents"}));
    EXPECT_EQ(rows[1],
              (std::vector<std::string>{"0", "logo1.bmp", "picture",
                                        std::to_string(4 + logo.size()), "32", "x", "16"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"1", "beep.snd", "sound", "0", "-"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"2", "m.off", "mesh", "8", "0", "vertices,", "0",
                                                 "faces"}));
    EXPECT_EQ(rows[4], (std::vector<std::string>{"3", "x.y.bmp", "none", "0", "-"}));
}

TEST(Datpack, CommandLineMistakesExitWithTwoAndWriteNothing) {
    const std::string jpeg = writeTempFile(makeJpeg(8, 8), "usage.jpg");
    const std::string out = tempFolder() + "/usage.dat";
    std::vector<std::string> tooMany = {out};
    for (int i = 0; i < 101; ++i) {
        tooMany.push_back(std::to_string(i) + ".snd");
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "usage:"},
        {{out, "logo1.bmp"}, "logo1.bmp needs an input"},
        {{out, "m.off"}, "m.off needs an input"},
        {{out, "beep.snd=" + jpeg}, "beep.snd carries no payload"},
        {{out, "notes.txt=" + jpeg}, "notes.txt carries no payload"},
        {{out, "=" + jpeg}, "must have 1 to 63 characters"},
        {{out, std::string(64, 'n') + ".bmp=" + jpeg}, "must have 1 to 63 characters"},
        {tooMany, "at most 100 entries"},
        {{"--lits", out}, "unknown option --lits"},
        {{"--list"}, "--list takes one file"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome run = datpack(args);
        EXPECT_EQ(run.status, 2) << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << run.output;
    }
}

TEST(Datpack, BadInputsExitWithOneNamingTheFault) {
    const std::string out = tempFolder() + "/bad.dat";
    const std::string notJpeg = writeText("hello", "not.jpg");
    const std::string truncated = writeTempFile(dataFile({"a.bmp"}, int32Bytes(9)), "cut.dat");
    int meshes = 0;
    auto mesh = [&](const std::string& text) {
        return "m.off=" + writeText(text, "mesh" + std::to_string(++meshes) + ".txt");
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{out, "a.bmp=" + tempFolder() + "/absent.jpg"}, "cannot open"},
        {{out, "a.bmp=" + notJpeg}, "not a usable JPEG picture (JPEG error #"},
        {{out, mesh("")}, "empty mesh"},
        {{out, mesh("1\n0 0 0\n")}, ":1: expected the counts"},
        {{out, mesh("-1 0\n")}, ":1: bad number \"-1\""},
        {{out, mesh("2 0\n0 0 0\n")}, "expected 2 vertex and 0 face lines, found 1"},
        {{out, mesh("1 0\n0 0 0\n1 1 1\n")}, "expected 1 vertex and 0 face lines, found 2"},
        {{out, mesh("1 0\n0 0 zero\n")}, ":2: bad coordinate \"zero\""},
        {{out, mesh("1 0\n0 0 nan\n")}, ":2: bad coordinate \"nan\""},
        {{out, mesh("1 0\n0 0\n")}, ":2: expected a vertex"},
        {{out, mesh("3 1\n0 0 0\n1 0 0\n0 1 0\n\n# face\n0 1 3\n")},
         ":7: bad number \"3\" (expected 0 to 2)"},
        {{"--list", truncated}, "datpack: Stream read error"},
        {{"--list", tempFolder() + "/absent.dat"}, "Cannot open file"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome run = datpack(args);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
        EXPECT_FALSE(std::filesystem::exists(out)) << run.output;
    }
}

} // namespace
