#include "world/rules_file.h"

#include "world/automaton.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using List = std::vector<int>;

// A list of 26 entries: the given values first, 99 after them.
List listOf(std::initializer_list<int> values) {
    List list(values);
    list.resize(ruleListLength, noCount);
    return list;
}

const List allFiller = listOf({});

List survivalList() {
    return List(std::begin(rules.survival), std::end(rules.survival));
}

List birthList() {
    return List(std::begin(rules.birth), std::end(rules.birth));
}

// A stream that collects what is written to it in memory.
struct Capture {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);

    Capture() = default;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture() {
        std::fclose(file);
        std::free(data);
    }
    std::string text() {
        std::fflush(file);
        return std::string(data, size);
    }
    // What has reached the buffer without a flush of our own: only what the writer flushed.
    std::string flushedText() const { return std::string(data != nullptr ? data : "", size); }
};

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The 54 lines of a rules file: a heading, the survival entries, a heading, the birth entries; each
// list made up to 26 entries with 99.
std::vector<std::string> rulesLines(std::vector<std::string> survival, std::vector<std::string> birth) {
    survival.resize(ruleListLength, "99");
    birth.resize(ruleListLength, "99");
    std::vector<std::string> lines{"survival"};
    lines.insert(lines.end(), survival.begin(), survival.end());
    lines.push_back("birth");
    lines.insert(lines.end(), birth.begin(), birth.end());
    return lines;
}

std::vector<std::string> numbered(int first, int count) {
    std::vector<std::string> entries;
    for (int i = 0; i < count; ++i) entries.push_back(std::to_string(first + i));
    return entries;
}

List numberedList(int first) {
    List list;
    for (int i = 0; i < ruleListLength; ++i) list.push_back(first + i);
    return list;
}

std::string joined(const std::vector<std::string>& lines, const std::string& lineEnd = "\n", bool finalLineEnd = true) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || finalLineEnd) text += lineEnd;
    }
    return text;
}

class RulesFile : public testing::Test {
protected:
    fs::path directory;
    Capture out;
    Capture warnings;

    void SetUp() override {
        char pattern[] = "/tmp/cellvane-rules-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override {
        fs::remove_all(directory);
        setDefaultRules();
    }

    std::string write(const std::string& contents, const std::string& name = "rules.ini") {
        const fs::path path = directory / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path.string();
    }

    bool load(const std::string& path) { return loadRulesFrom(path.c_str(), out.file, warnings.file); }

    void expectDefaults() {
        EXPECT_EQ(survivalList(), listOf({2, 3}));
        EXPECT_EQ(birthList(), listOf({3}));
    }
    void expectSilent() {
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(warnings.text(), "");
    }
};

}  // namespace

TEST_F(RulesFile, MissingFileGivesTheMessageFlushedAndTheDefaults) {
    std::fill(std::begin(rules.birth), std::end(rules.birth), 0);  // nothing of an earlier load stays
    EXPECT_FALSE(load((directory / "rules.ini").string()));
    EXPECT_EQ(out.flushedText(), "Error opening rules.ini, default rules loaded");
    EXPECT_EQ(warnings.text(), "");
    expectDefaults();
}

// Only a regular file is read: anything else gives the defaults, the usual message, and one line on
// the warning stream saying why, and opening it never waits (a FIFO with no writer would block).
TEST_F(RulesFile, AnythingButARegularFileIsUnopenableAndSaysWhy) {
    alarm(20);  // a load that blocks ends the test run instead of hanging it
    const fs::path path = directory / "rules.ini";
    const auto expectRefused = [&](const std::string& why) {
        Capture ownOut, ownWarnings;
        std::fill(std::begin(rules.birth), std::end(rules.birth), 0);
        EXPECT_FALSE(loadRulesFrom(path.c_str(), ownOut.file, ownWarnings.file));
        EXPECT_EQ(ownOut.text(), "Error opening rules.ini, default rules loaded");
        EXPECT_EQ(ownWarnings.text(), path.string() + ": " + why + "\n");
        expectDefaults();
        fs::remove(path);
    };
    fs::create_directory(path);
    expectRefused("is a directory; only a regular file is read");
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    expectRefused("is a FIFO (named pipe); only a regular file is read");
    fs::create_symlink("/dev/zero", path);
    expectRefused("is a character device; only a regular file is read");
    fs::create_symlink(path, path);  // a link to itself: an error other than a missing file
    expectRefused("cannot be opened: Too many levels of symbolic links");
    alarm(0);
}

TEST_F(RulesFile, EmptyFileOpensWithAWarningAndSetsNothing) {
    std::fill(std::begin(rules.survival), std::end(rules.survival), 3);
    const std::string path = write("");
    EXPECT_TRUE(load(path));
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(warnings.text(), path + ": warning: the file is empty; every entry stays unused (99), so no cell is ever born or survives\n");
    EXPECT_EQ(survivalList(), allFiller);
    EXPECT_EQ(birthList(), allFiller);
}

TEST_F(RulesFile, CompleteFileGivesEveryEntryItsLine) {
    EXPECT_TRUE(load(write(joined(rulesLines(numbered(0, 26), numbered(1, 26))))));
    expectSilent();
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(1));
}

// Each entry keeps atoi's value; every line a user probably did not mean gets one warning that says
// what was taken.
TEST_F(RulesFile, EntriesAreReadAsAtoiReadsThemAndMistakesAreNamed) {
    const std::vector<std::string> survival{"  5", "5x", "-1", "", "abc", "+7", "\t8", "007", "- 4", "x5", "99",
                                            "4,5", "27", "26 ", "\x01\"2", "0"};
    const std::string path = write(joined(rulesLines(survival, {"3", ""})));
    EXPECT_TRUE(load(path));
    EXPECT_EQ(survivalList(), listOf({5, 5, -1, 0, 0, 7, 8, 7, 0, 0, 99, 4, 27, 26, 0, 0}));
    EXPECT_EQ(birthList(), listOf({3, 0}));
    EXPECT_EQ(out.text(), "");
    const std::string at = path + ":";
    EXPECT_EQ(warnings.text(),
              at + "3: warning: entry \"5x\" read as 5; the characters after the number are ignored\n" +
              at + "4: warning: entry -1 matches no neighbour count (0 to 26), so it adds nothing to the survival list\n" +
              at + "5: warning: empty entry line read as 0, so count 0 is on the survival list\n" +
              at + "6: warning: entry \"abc\" has no leading number; read as 0, so count 0 is on the survival list\n" +
              at + "10: warning: entry \"- 4\" has no leading number; read as 0, so count 0 is on the survival list\n" +
              at + "11: warning: entry \"x5\" has no leading number; read as 0, so count 0 is on the survival list\n" +
              at + "13: warning: entry \"4,5\" read as 4; the characters after the number are ignored\n" +
              at + "14: warning: entry 27 matches no neighbour count (0 to 26), so it adds nothing to the survival list\n" +
              at + "16: warning: entry \"\\x01\\x222\" has no leading number; read as 0, so count 0 is on the survival list\n" +
              at + "30: warning: empty entry line read as 0, so count 0 is on the birth list\n");
}

// A file that stops early gives exactly the entries it holds, with or without its last line end.
TEST_F(RulesFile, EarlyEndLeavesEveryMissingEntryAtTheFiller) {
    for (bool finalLineEnd : {true, false}) {
        for (int k : {0, 1, 5, 25}) {
            SCOPED_TRACE("survival lines " + std::to_string(k) + (finalLineEnd ? " with" : " without") + " final LF");
            std::vector<std::string> lines{"survival"};
            for (const std::string& entry : numbered(2, k)) lines.push_back(entry);
            Capture ownWarnings;
            const std::string path = write(joined(lines, "\n", finalLineEnd));
            EXPECT_TRUE(loadRulesFrom(path.c_str(), out.file, ownWarnings.file));
            List expected = allFiller;
            for (int i = 0; i < k; ++i) expected[i] = 2 + i;
            EXPECT_EQ(survivalList(), expected);
            EXPECT_EQ(birthList(), allFiller);
            const std::string last = std::to_string(k + 1);
            EXPECT_EQ(ownWarnings.text(), path + ":" + last + ": warning: the file ends after line " + last +
                                              "; the entries from line " + std::to_string(k + 2) + " on stay unused (99)\n");
        }
    }
    EXPECT_EQ(out.text(), "");
}

TEST_F(RulesFile, FileWithOnlyTheSurvivalPartGivesNoBirth) {
    const std::vector<std::string> survival{"2", "3", "99", "99", "99", "99", "99", "99", "99", "99", "99", "99", "99",
                                            "99", "99", "99", "99", "99", "99", "99", "99", "99", "99", "99", "99", "99"};
    std::vector<std::string> lines{"survival"};
    lines.insert(lines.end(), survival.begin(), survival.end());
    EXPECT_TRUE(load(write(joined(lines))));  // 27 lines
    EXPECT_EQ(survivalList(), listOf({2, 3}));
    EXPECT_EQ(birthList(), allFiller);

    lines.push_back("birth");
    const std::string path = write(joined(lines));
    EXPECT_TRUE(load(path));  // 28 lines: the birth heading, then the end
    EXPECT_EQ(survivalList(), listOf({2, 3}));
    EXPECT_EQ(birthList(), allFiller);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(warnings.text(), path + ":27: warning: the file ends after line 27; the entries from line 29 on stay unused (99)\n" +
                                   path + ":28: warning: the file ends after line 28; the entries from line 29 on stay unused (99)\n");
}

TEST_F(RulesFile, OverlongEntryTakesItsWholeValueAndTheRestReadsOn) {
    std::vector<std::string> survival = numbered(0, 26);
    survival[3] = "1234";  // line 5
    const std::string path = write(joined(rulesLines(survival, numbered(1, 26))));
    EXPECT_TRUE(load(path));
    List expected = numberedList(0);
    expected[3] = 1234;
    EXPECT_EQ(survivalList(), expected);
    EXPECT_EQ(birthList(), numberedList(1));

    EXPECT_EQ(out.text(), "");
    const std::string warned = warnings.text();
    EXPECT_EQ(lineCount(warned), 1);
    EXPECT_NE(warned.find(path), std::string::npos) << warned;
    EXPECT_NE(warned.find(":5:"), std::string::npos) << warned;
}

TEST_F(RulesFile, OverlongHeadingsAreSkippedWhole) {
    const std::string longHeading(5000, 'h');
    std::vector<std::string> lines = rulesLines(numbered(0, 26), numbered(1, 26));
    lines[0] = longHeading;
    const std::string path = write(joined(lines));
    EXPECT_TRUE(load(path));
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(1));
    std::string warned = warnings.text();
    EXPECT_EQ(lineCount(warned), 1);
    EXPECT_NE(warned.find(path + ":1:"), std::string::npos) << warned;

    lines[0] = std::string(99, 'h');  // the longest heading that fits: no warning
    lines[27] = std::string(100, 'b');
    Capture secondWarnings;
    EXPECT_TRUE(loadRulesFrom(write(joined(lines)).c_str(), out.file, secondWarnings.file));
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(1));
    warned = secondWarnings.text();
    EXPECT_EQ(lineCount(warned), 1);
    EXPECT_NE(warned.find(":28:"), std::string::npos) << warned;
    EXPECT_EQ(out.text(), "");
}

TEST_F(RulesFile, CarriageReturnBelongsToTheLineEnd) {
    std::vector<std::string> survival = numbered(0, 26);
    survival[1] = "123";  // three characters and the CR: still within the limit
    survival[2] = "";     // an empty line still gives 0
    const std::vector<std::string> lines = rulesLines(survival, numbered(1, 26));
    const std::string path = write(joined(lines, "\r\n"));
    // The warnings of lines 3 and 4 are about their values only: no CR is counted or reported.
    const std::string expectedWarnings =
        path + ":3: warning: entry 123 matches no neighbour count (0 to 26), so it adds nothing to the survival list\n" +
        path + ":4: warning: empty entry line read as 0, so count 0 is on the survival list\n";
    EXPECT_TRUE(load(path));
    List expected = numberedList(0);
    expected[1] = 123;
    expected[2] = 0;
    EXPECT_EQ(survivalList(), expected);
    EXPECT_EQ(birthList(), numberedList(1));
    EXPECT_EQ(warnings.text(), expectedWarnings);

    // The last line without its LF: the CR alone still ends it.
    EXPECT_TRUE(load(write(joined(lines, "\r\n", false) + "\r")));
    EXPECT_EQ(birthList(), numberedList(1));
    EXPECT_EQ(warnings.text(), expectedWarnings + expectedWarnings);
    EXPECT_EQ(out.text(), "");
}

// Old Mac line ends (CR alone) make the whole file one line: the values stay what that reading
// gives (every entry unused), and the warnings say why.
TEST_F(RulesFile, CarriageReturnsThatEndNoLineAreNamed) {
    const std::string text = joined(rulesLines({"5"}, {"6"}), "\r");
    const std::string path = write(text);
    EXPECT_TRUE(load(path));
    EXPECT_EQ(survivalList(), allFiller);
    EXPECT_EQ(birthList(), allFiller);
    EXPECT_EQ(warnings.text(),
              path + ":1: warning: a carriage return (CR) inside the line ends no line; only LF or CR LF end a line\n" +
              path + ":1: warning: heading of " + std::to_string(text.size() - 1) + " characters is longer than 99; the whole line is skipped\n" +
              path + ":1: warning: the file ends after line 1; the entries from line 2 on stay unused (99)\n");

    // A CR inside an entry line is white space to atoi, and text after it is a mistake.
    std::vector<std::string> survival{"5\r6"};
    EXPECT_TRUE(load(write(joined(rulesLines(survival, {})))));
    EXPECT_EQ(survivalList(), listOf({5}));
    EXPECT_EQ(lineCount(warnings.text()), 5) << warnings.text();
    EXPECT_NE(warnings.text().find(":2: warning: entry \"5\\x0d6\" read as 5;"), std::string::npos) << warnings.text();
}

// A UTF-8 byte-order mark, as some editors write, is not part of the first heading's length.
TEST_F(RulesFile, ByteOrderMarkIsNotCountedInTheHeading) {
    std::vector<std::string> lines = rulesLines({"4"}, {"5"});
    lines[0] = "\xEF\xBB\xBF" + std::string(99, 'h');
    EXPECT_TRUE(load(write(joined(lines))));
    EXPECT_EQ(survivalList(), listOf({4}));
    EXPECT_EQ(birthList(), listOf({5}));
    expectSilent();

    lines[0] += "h";
    const std::string path = write(joined(lines));
    EXPECT_TRUE(load(path));
    EXPECT_EQ(warnings.text(), path + ":1: warning: heading of 100 characters is longer than 99; the whole line is skipped\n");
}

// The file is read in chunks of 64 KiB: a CR LF split between two chunks still ends the line, and a
// lone CR at the end of a chunk is still part of its line.
TEST_F(RulesFile, ChunkEdgesChangeNothing) {
    const std::size_t chunk = 64 * 1024;
    const std::string rest = joined(rulesLines({"5"}, {"6"})).substr(9);  // after "survival\n"
    const std::string heading(chunk - 1, 'h');
    std::string path = write(heading + "\r\n" + rest);  // the CR is the chunk's last byte
    EXPECT_TRUE(load(path));
    EXPECT_EQ(survivalList(), listOf({5}));
    EXPECT_EQ(birthList(), listOf({6}));
    EXPECT_EQ(warnings.text(), path + ":1: warning: heading of " + std::to_string(chunk - 1) +
                                   " characters is longer than 99; the whole line is skipped\n");

    Capture ownWarnings;
    path = write(heading + "\rx\n" + rest);
    EXPECT_TRUE(loadRulesFrom(path.c_str(), out.file, ownWarnings.file));
    EXPECT_EQ(survivalList(), listOf({5}));
    EXPECT_EQ(ownWarnings.text(),
              path + ":1: warning: a carriage return (CR) inside the line ends no line; only LF or CR LF end a line\n" +
              path + ":1: warning: heading of " + std::to_string(chunk + 1) + " characters is longer than 99; the whole line is skipped\n");
}

// The holes of a sparse file are passed over without reading them, yet they count as the NUL bytes
// they read as: in a line's length, and as the end of an entry's number.
TEST_F(RulesFile, HolesOfASparseFileReadAsTheirNulBytes) {
    const auto writeSparse = [&](const std::vector<std::pair<std::string, off_t>>& pieces) {
        const fs::path path = directory / "rules.ini";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        for (const auto& [text, holeAfter] : pieces) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fseek(file, holeAfter, SEEK_CUR);
        }
        std::fflush(file);
        EXPECT_EQ(ftruncate(fileno(file), ftell(file)), 0);
        std::fclose(file);
        return path.string();
    };
    const off_t mebibyte = 1 << 20;
    std::vector<std::string> survival = numbered(0, 26);
    survival[0] = "7";
    const std::string rest = joined(rulesLines(survival, numbered(1, 26))).substr(9);  // after "survival\n"
    std::string path = writeSparse({{"head", 64 * mebibyte}, {"ing\n", 0}, {rest, 0}});
    EXPECT_TRUE(load(path));
    EXPECT_EQ(survivalList()[0], 7);
    EXPECT_EQ(birthList(), numberedList(1));
    EXPECT_EQ(warnings.text(), path + ":1: warning: heading of " + std::to_string(64 * mebibyte + 7) +
                                   " characters is longer than 99; the whole line is skipped\n");

    // A hole inside an entry ends its number; a hole at the end of the file is the last line's end.
    path = writeSparse({{"h\n12", 3 * mebibyte}, {"4\n5", mebibyte}});
    Capture ownWarnings;
    EXPECT_TRUE(loadRulesFrom(path.c_str(), out.file, ownWarnings.file));
    EXPECT_EQ(survivalList(), listOf({12, 5}));
    EXPECT_EQ(ownWarnings.text(),
              path + ":2: warning: entry of " + std::to_string(3 * mebibyte + 3) + " characters is longer than 3; read as 12 from the whole line\n" +
              path + ":3: warning: entry of " + std::to_string(mebibyte + 1) + " characters is longer than 3; read as 5 from the whole line\n" +
              path + ":3: warning: the file ends after line 3; the entries from line 4 on stay unused (99)\n");
}

TEST_F(RulesFile, LinesAfterTheBirthEntriesAreIgnored) {
    std::vector<std::string> lines = rulesLines(numbered(0, 26), numbered(1, 26));
    lines.push_back("1");
    lines.push_back(std::string(300, '7'));
    lines.push_back("");
    EXPECT_TRUE(load(write(joined(lines))));
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(1));
    expectSilent();
}

// Numbers beyond int saturate: a long number must never wrap round to a real count.
TEST_F(RulesFile, NumbersTooLargeForIntSaturate) {
    const std::vector<std::string> survival{"4294967299", "-4294967299", "99999999999999999999999999999",
                                            "2147483647", "2147483648", "-2147483648", "-2147483649", "4294967296"};
    EXPECT_TRUE(load(write(joined(rulesLines(survival, {"18446744073709551619"})))));
    EXPECT_EQ(survivalList(), listOf({INT_MAX, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX}));
    EXPECT_EQ(birthList(), listOf({INT_MAX}));
    EXPECT_EQ(lineCount(warnings.text()), 9);  // every one of these lines is longer than an entry
    EXPECT_EQ(out.text(), "");
}

// loadRules reads rules.ini from the working directory and keeps standard output for the one message.
class RulesFromWorkingDirectory : public RulesFile {
protected:
    fs::path previous;

    void SetUp() override {
        RulesFile::SetUp();
        previous = fs::current_path();
        fs::current_path(directory);
    }
    void TearDown() override {
        fs::current_path(previous);
        RulesFile::TearDown();
    }

    // Runs loadRules with standard output and standard error sent to files; returns what reached
    // them. Standard output is read before it is flushed here, so only what loadRules flushed counts.
    std::array<std::string, 2> runLoadRules() {
        std::fflush(stdout);
        std::fflush(stderr);
        const int savedOut = dup(STDOUT_FILENO);
        const int savedErr = dup(STDERR_FILENO);
        std::FILE* outFile = std::tmpfile();
        std::FILE* errFile = std::tmpfile();
        dup2(fileno(outFile), STDOUT_FILENO);
        dup2(fileno(errFile), STDERR_FILENO);
        loadRules();
        const std::string outText = contentsOf(outFile);
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(savedOut, STDOUT_FILENO);
        dup2(savedErr, STDERR_FILENO);
        close(savedOut);
        close(savedErr);
        const std::string errText = contentsOf(errFile);
        std::fclose(outFile);
        std::fclose(errFile);
        return {outText, errText};
    }

    static std::string contentsOf(std::FILE* file) {
        std::string text;
        std::rewind(file);
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
        return text;
    }
};

TEST_F(RulesFromWorkingDirectory, MissingFileMessageIsAllThatReachesStandardOutput) {
    const auto [outText, errText] = runLoadRules();
    EXPECT_EQ(outText, "Error opening rules.ini, default rules loaded");
    EXPECT_EQ(errText, "");
    expectDefaults();
}

TEST_F(RulesFromWorkingDirectory, WarningsGoToStandardErrorOnly) {
    std::vector<std::string> lines = rulesLines(numbered(0, 26), numbered(1, 26));
    lines[0] = std::string(150, '#');
    lines[10] = "00009";
    write(joined(lines));
    const auto [outText, errText] = runLoadRules();
    EXPECT_EQ(outText, "");
    EXPECT_EQ(lineCount(errText), 2) << errText;
    EXPECT_NE(errText.find("rules.ini:1:"), std::string::npos) << errText;
    EXPECT_NE(errText.find("rules.ini:11:"), std::string::npos) << errText;
    List expected = numberedList(0);
    expected[9] = 9;
    EXPECT_EQ(survivalList(), expected);
    EXPECT_EQ(birthList(), numberedList(1));
}
