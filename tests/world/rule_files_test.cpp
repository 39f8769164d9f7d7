// The rule files shipped in rules/: each must load without a message or warning and give exactly
// the rule its two heading lines name.
#include "world/automaton.h"
#include "world/rules_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path shippedRulesDir = fs::path(__FILE__).parent_path().parent_path().parent_path() / "rules";

std::vector<fs::path> shippedRuleFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(shippedRulesDir))
        if (entry.path().extension() == ".ini") files.push_back(entry.path());
    return files;
}

// The counts a heading names after "counts:", as numbers or ranges a-b, separated by spaces.
std::set<int> countsNamedBy(const std::string& heading) {
    const auto colon = heading.find("counts:");
    if (colon == std::string::npos) ADD_FAILURE() << "heading names no counts: " << heading;
    std::set<int> counts;
    std::istringstream words(colon == std::string::npos ? "" : heading.substr(colon + 7));
    std::string word;
    while (words >> word) {
        const auto dash = word.find('-');
        const int first = std::stoi(word.substr(0, dash));
        const int last = dash == std::string::npos ? first : std::stoi(word.substr(dash + 1));
        EXPECT_LE(first, last) << heading;
        for (int count = first; count <= last; ++count) counts.insert(count);
    }
    return counts;
}

std::string contentsOf(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    for (int c = std::getc(stream); c != EOF; c = std::getc(stream)) text += static_cast<char>(c);
    return text;
}

// Every entry is either a count of the named set or the filler, and every named count is there.
void expectListGives(const std::int32_t (&list)[ruleListLength], const std::set<int>& named, const char* which) {
    std::set<int> given;
    for (std::int32_t entry : list) {
        if (entry == noCount) continue;
        EXPECT_TRUE(named.count(entry)) << which << " entry " << entry << " is not named by the heading";
        given.insert(entry);
    }
    EXPECT_EQ(given, named) << which;
}

TEST(ShippedRuleFiles, EachGivesTheRuleItsHeadingsName) {
    const auto files = shippedRuleFiles();
    ASSERT_GE(files.size(), 5u) << "rule files missing from " << shippedRulesDir;

    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::vector<std::string> lines;
        std::ifstream in(file, std::ios::binary);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), 54u) << "a rules file has 54 lines";

        std::FILE* out = std::tmpfile();
        std::FILE* warnings = std::tmpfile();
        ASSERT_TRUE(out && warnings);
        EXPECT_TRUE(loadRulesFrom(file.c_str(), out, warnings));
        EXPECT_EQ(contentsOf(out), "");
        EXPECT_EQ(contentsOf(warnings), "");
        std::fclose(out);
        std::fclose(warnings);

        ASSERT_NE(lines[0].find("survival counts:"), std::string::npos) << lines[0];
        ASSERT_NE(lines[27].find("birth counts:"), std::string::npos) << lines[27];
        expectListGives(rules.survival, countsNamedBy(lines[0]), "survival");
        expectListGives(rules.birth, countsNamedBy(lines[27]), "birth");
    }
    setDefaultRules();
}

}  // namespace
