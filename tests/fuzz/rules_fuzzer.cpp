// Feeds arbitrary bytes to the rules loader as a rules file and checks every entry against the value
// worked out here, independently, from the input's lines:
//   line 1 and line 28 are headings, lines 2..27 give survival[0..25], lines 29..54 birth[0..25];
//   a line ends at LF, and one CR just before the LF (or before the end of the file) belongs to it;
//   an entry is its whole line converted as atoi does, saturating to the range of int32;
//   an entry whose line the file does not have stays 99.
// It also checks the warnings against its own reading of the lines (each names the file and the
// line, in order, of the kind due), that nothing is written to the message stream, and that the file
// counts as read.
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

bool isAtoiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The start of the warning a line must get, apart from one about a CR inside it, with "|" where the
// text the loader quotes from the line goes on; "" when none is due. An entry line gets only the
// first of its faults, in this order: no number, over-long, characters after the number, a value
// that matches no count.
std::string expectedWarning(const std::string& line, std::size_t index) {
    if (index == 0 || index == 27) {
        const bool mark = index == 0 && line.compare(0, 3, "\xEF\xBB\xBF") == 0;
        const std::size_t length = line.size() - (mark ? 3 : 0);
        return length > static_cast<std::size_t>(rulesHeadingLimit) ? "heading of " + std::to_string(length) + " characters|" : "";
    }
    if (line.empty()) return "empty entry line read as 0|";
    std::size_t at = 0;
    while (at < line.size() && isAtoiSpace(line[at])) ++at;
    if (at < line.size() && (line[at] == '-' || line[at] == '+')) ++at;
    const std::size_t digitsStart = at;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
    if (at == digitsStart) return "entry \"|has no leading number; read as 0, so count 0 is on the ";
    const std::int32_t value = entryValue(line);
    if (line.size() > static_cast<std::size_t>(rulesEntryLimit))
        return "entry of " + std::to_string(line.size()) + " characters is longer than 3; read as " + std::to_string(value) + " from the whole line";
    while (at < line.size() && isAtoiSpace(line[at])) ++at;
    if (at < line.size()) return "entry \"|read as " + std::to_string(value) + "; the characters after the number are ignored";
    if ((value < 0 || value > 26) && value != noCount) return "entry " + std::to_string(value) + " matches no neighbour count|";
    return "";
}

// Whether a warning line has the expected form: without "|", exactly; with it, the text before "|"
// starts the line and the text after it comes later in the line.
bool matches(const std::string& written, const std::string& expected) {
    const std::size_t bar = expected.find('|');
    if (bar == std::string::npos) return written == expected;
    const std::string head = expected.substr(0, bar);
    return written.compare(0, head.size(), head) == 0 && written.find(expected.substr(bar + 1), head.size()) != std::string::npos;
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

    // The warnings, worked out line by line from the input, in the order they must appear.
    std::vector<std::string> expected;
    const std::size_t linesRead = lines.size() < 54 ? lines.size() : 54;
    for (std::size_t i = 0; i < linesRead; ++i) {
        const std::string at = std::string(rulesPath) + ":" + std::to_string(i + 1) + ": warning: ";
        if (lines[i].find('\r') != std::string::npos) expected.push_back(at + "a carriage return (CR)|");
        const std::string kind = expectedWarning(lines[i], i);
        if (!kind.empty()) expected.push_back(at + kind);
    }
    if (lines.empty())
        expected.push_back(std::string(rulesPath) + ": warning: the file is empty;|");
    else if (lines.size() < 54)
        expected.push_back(std::string(rulesPath) + ":" + std::to_string(lines.size()) + ": warning: the file ends after line|");

    std::vector<std::string> written;
    std::size_t start = 0;
    while (start < warningSize) {
        const char* lf = static_cast<const char*>(std::memchr(warningText + start, '\n', warningSize - start));
        if (lf == nullptr) fail("unterminated warning at byte", static_cast<int>(start), 0, 0);
        written.emplace_back(warningText + start, static_cast<std::size_t>(lf - (warningText + start)));
        start = static_cast<std::size_t>(lf - warningText) + 1;
    }
    if (written.size() != expected.size())
        fail("warning lines", 0, static_cast<long long>(written.size()), static_cast<long long>(expected.size()));
    for (std::size_t i = 0; i < written.size(); ++i)
        if (!matches(written[i], expected[i])) {
            std::fprintf(stderr, "rules fuzzer: warning %zu is \"%s\", expected \"%s\"\n", i, written[i].c_str(), expected[i].c_str());
            std::abort();
        }

    std::free(messageText);
    std::free(warningText);
    return 0;
}
