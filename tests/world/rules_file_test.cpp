#include "world/rules_file.h"

#include "world/automaton.h"

#include <gtest/gtest.h>

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

TEST_F(RulesFile, DirectoryInPlaceOfTheFileIsUnreadable) {
    fs::create_directory(directory / "rules.ini");
    EXPECT_FALSE(load((directory / "rules.ini").string()));
    EXPECT_EQ(out.text(), "Error opening rules.ini, default rules loaded");
    expectDefaults();
}

TEST_F(RulesFile, EmptyFileOpensSilentlyAndSetsNothing) {
    std::fill(std::begin(rules.survival), std::end(rules.survival), 3);
    EXPECT_TRUE(load(write("")));
    expectSilent();
    EXPECT_EQ(survivalList(), allFiller);
    EXPECT_EQ(birthList(), allFiller);
}

TEST_F(RulesFile, CompleteFileGivesEveryEntryItsLine) {
    EXPECT_TRUE(load(write(joined(rulesLines(numbered(0, 26), numbered(100, 26))))));
    expectSilent();
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(100));
}

TEST_F(RulesFile, EntriesAreReadAsAtoiReadsThem) {
    const std::vector<std::string> survival{"  5", "5x", "-1", "", "abc", "+7", "\t8", "007", "- 4", "x5", "99"};
    EXPECT_TRUE(load(write(joined(rulesLines(survival, {"3"})))));
    expectSilent();
    EXPECT_EQ(survivalList(), listOf({5, 5, -1, 0, 0, 7, 8, 7, 0, 0, 99}));
    EXPECT_EQ(birthList(), listOf({3}));
}

// A file that stops early gives exactly the entries it holds, with or without its last line end.
TEST_F(RulesFile, EarlyEndLeavesEveryMissingEntryAtTheFiller) {
    for (bool finalLineEnd : {true, false}) {
        for (int k : {0, 1, 5, 25}) {
            SCOPED_TRACE("survival lines " + std::to_string(k) + (finalLineEnd ? " with" : " without") + " final LF");
            std::vector<std::string> lines{"survival"};
            for (const std::string& entry : numbered(2, k)) lines.push_back(entry);
            EXPECT_TRUE(load(write(joined(lines, "\n", finalLineEnd))));
            List expected = allFiller;
            for (int i = 0; i < k; ++i) expected[i] = 2 + i;
            EXPECT_EQ(survivalList(), expected);
            EXPECT_EQ(birthList(), allFiller);
        }
    }
    expectSilent();
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
    EXPECT_TRUE(load(write(joined(lines))));  // 28 lines: the birth heading, then the end
    EXPECT_EQ(survivalList(), listOf({2, 3}));
    EXPECT_EQ(birthList(), allFiller);
    expectSilent();
}

TEST_F(RulesFile, OverlongEntryTakesItsWholeValueAndTheRestReadsOn) {
    std::vector<std::string> survival = numbered(0, 26);
    survival[3] = "1234";  // line 5
    const std::string path = write(joined(rulesLines(survival, numbered(30, 26))));
    EXPECT_TRUE(load(path));
    List expected = numberedList(0);
    expected[3] = 1234;
    EXPECT_EQ(survivalList(), expected);
    EXPECT_EQ(birthList(), numberedList(30));

    EXPECT_EQ(out.text(), "");
    const std::string warned = warnings.text();
    EXPECT_EQ(lineCount(warned), 1);
    EXPECT_NE(warned.find(path), std::string::npos) << warned;
    EXPECT_NE(warned.find(":5:"), std::string::npos) << warned;
}

TEST_F(RulesFile, OverlongHeadingsAreSkippedWhole) {
    const std::string longHeading(5000, 'h');
    std::vector<std::string> lines = rulesLines(numbered(0, 26), numbered(40, 26));
    lines[0] = longHeading;
    const std::string path = write(joined(lines));
    EXPECT_TRUE(load(path));
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(40));
    std::string warned = warnings.text();
    EXPECT_EQ(lineCount(warned), 1);
    EXPECT_NE(warned.find(path + ":1:"), std::string::npos) << warned;

    lines[0] = std::string(99, 'h');  // the longest heading that fits: no warning
    lines[27] = std::string(100, 'b');
    Capture secondWarnings;
    EXPECT_TRUE(loadRulesFrom(write(joined(lines)).c_str(), out.file, secondWarnings.file));
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(40));
    warned = secondWarnings.text();
    EXPECT_EQ(lineCount(warned), 1);
    EXPECT_NE(warned.find(":28:"), std::string::npos) << warned;
    EXPECT_EQ(out.text(), "");
}

TEST_F(RulesFile, CarriageReturnBelongsToTheLineEnd) {
    std::vector<std::string> survival = numbered(0, 26);
    survival[1] = "123";  // three characters and the CR: still within the limit
    survival[2] = "";     // an empty line still gives 0
    const std::vector<std::string> lines = rulesLines(survival, numbered(50, 26));
    EXPECT_TRUE(load(write(joined(lines, "\r\n"))));
    List expected = numberedList(0);
    expected[1] = 123;
    expected[2] = 0;
    EXPECT_EQ(survivalList(), expected);
    EXPECT_EQ(birthList(), numberedList(50));
    expectSilent();

    // The last line without its LF: the CR alone still ends it.
    EXPECT_TRUE(load(write(joined(lines, "\r\n", false) + "\r")));
    EXPECT_EQ(birthList(), numberedList(50));
    expectSilent();
}

TEST_F(RulesFile, LinesAfterTheBirthEntriesAreIgnored) {
    std::vector<std::string> lines = rulesLines(numbered(0, 26), numbered(60, 26));
    lines.push_back("1");
    lines.push_back(std::string(300, '7'));
    lines.push_back("");
    EXPECT_TRUE(load(write(joined(lines))));
    EXPECT_EQ(survivalList(), numberedList(0));
    EXPECT_EQ(birthList(), numberedList(60));
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
    std::vector<std::string> lines = rulesLines(numbered(0, 26), numbered(70, 26));
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
    EXPECT_EQ(birthList(), numberedList(70));
}
