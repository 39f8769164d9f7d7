// Feeds arbitrary bytes to the rules loader as a rules file and checks every entry against the value
// worked out here, independently, from the input's lines:
//   line 1 and line 28 are headings, lines 2..27 give survival[0..25], lines 29..54 birth[0..25];
//   a line ends at LF, and one CR just before the LF (or before the end of the file) belongs to it;
//   an entry is its whole line converted as atoi does, saturating to the range of int32;
//   an entry whose line the file does not have stays 99.
// It also checks that each over-long line read gets exactly one warning naming the file and the
// line, that nothing is written to the message stream, and that the file counts as read.
#include "world/automaton.h"
#include "world/rules_file.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

char rulesPath[4096];
char workDir[4096];

void removeWorkFiles() {
    unlink(rulesPath);
    rmdir(workDir);
}

void fail(const char* what, int index, long long got, long long expected) {
    std::fprintf(stderr, "rules fuzzer: %s %d: loaded %lld, expected %lld\n", what, index, got, expected);
    std::abort();
}

std::vector<std::string> splitLines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < size) {
        const void* lf = std::memchr(data + start, '\n', size - start);
        const std::size_t end = lf ? static_cast<const std::uint8_t*>(lf) - data : size;
        std::string line(reinterpret_cast<const char*>(data + start), end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = lf ? end + 1 : size;
    }
    return lines;
}

// atoi's reading of the line (which stops at the first character that is not part of the number,
// an embedded NUL included), with values beyond int32 clamped to its ends.
std::int32_t entryValue(const std::string& line) {
    const long long value = std::strtoll(line.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<std::int32_t>(value);
}

// Characters the line at this index (0-based) may hold before it counts as over-long.
std::size_t lengthLimit(std::size_t index) {
    const bool heading = index == 0 || index == 27;
    return static_cast<std::size_t>(heading ? rulesHeadingLimit : rulesEntryLimit);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::snprintf(workDir, sizeof workDir, "%s/cellvane-rules-fuzz-XXXXXX", tmp && *tmp ? tmp : "/tmp");
    if (mkdtemp(workDir) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    std::snprintf(rulesPath, sizeof rulesPath, "%s/rules.ini", workDir);
    std::atexit(removeWorkFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(rulesPath, "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(rulesPath);
        std::abort();
    }

    char* messageText = nullptr;
    std::size_t messageSize = 0;
    char* warningText = nullptr;
    std::size_t warningSize = 0;
    std::FILE* messages = open_memstream(&messageText, &messageSize);
    std::FILE* warnings = open_memstream(&warningText, &warningSize);
    const bool read = loadRulesFrom(rulesPath, messages, warnings);
    std::fclose(messages);
    std::fclose(warnings);

    if (!read) fail("file reported unreadable, size", 0, static_cast<long long>(size), 0);
    if (messageSize != 0) fail("message bytes written", 0, static_cast<long long>(messageSize), 0);

    const std::vector<std::string> lines = splitLines(data, size);
    for (int i = 0; i < ruleListLength; ++i) {
        const std::size_t survivalLine = 1 + i, birthLine = 28 + i;
        const std::int32_t survival = survivalLine < lines.size() ? entryValue(lines[survivalLine]) : noCount;
        const std::int32_t birth = birthLine < lines.size() ? entryValue(lines[birthLine]) : noCount;
        if (rules.survival[i] != survival) fail("survival entry", i, rules.survival[i], survival);
        if (rules.birth[i] != birth) fail("birth entry", i, rules.birth[i], birth);
    }

    // One warning line per over-long line among the 54 that are read, in order, naming file and line.
    const std::size_t linesRead = lines.size() < 54 ? lines.size() : 54;
    int expectedWarnings = 0;
    for (std::size_t i = 0; i < linesRead; ++i)
        if (lines[i].size() > lengthLimit(i)) ++expectedWarnings;
    int warningCount = 0;
    std::size_t start = 0;
    std::size_t lineIndex = 0;
    while (start < warningSize) {
        const char* lf = static_cast<const char*>(std::memchr(warningText + start, '\n', warningSize - start));
        if (lf == nullptr) fail("unterminated warning at byte", static_cast<int>(start), 0, 0);
        while (lineIndex < linesRead && lines[lineIndex].size() <= lengthLimit(lineIndex)) ++lineIndex;
        const std::string prefix = std::string(rulesPath) + ":" + std::to_string(lineIndex + 1) + ": ";
        if (lineIndex >= linesRead || std::strncmp(warningText + start, prefix.c_str(), prefix.size()) != 0)
            fail("warning does not name the over-long line", warningCount, static_cast<long long>(lineIndex + 1), 0);
        ++lineIndex;
        ++warningCount;
        start = static_cast<std::size_t>(lf - warningText) + 1;
    }
    if (warningCount != expectedWarnings) fail("warning lines", 0, warningCount, expectedWarnings);

    std::free(messageText);
    std::free(warningText);
    return 0;
}
