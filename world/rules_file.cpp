#include "world/rules_file.h"

#include "world/automaton.h"

#include <climits>

namespace {

bool isAtoiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr long long magnitudeCap = static_cast<long long>(INT_MAX) + 1;

// One line of the file, read whole whatever its length. The LF and a CR just before it (or just
// before the end of the file) belong to the line end.
struct Line {
    long long length = 0;  // characters, without the line end
    EntryParser entry;
};

// Reads the next line; returns false when the file holds no more characters (a read at its end).
bool readLine(std::FILE* file, Line& line) {
    line = Line{};
    int c = std::getc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (c == '\r') {
            const int next = std::getc(file);
            if (next == '\n' || next == EOF) break;
            std::ungetc(next, file);
        }
        ++line.length;
        line.entry.feed(static_cast<char>(c));
    }
    return true;
}

struct RulesReader {
    std::FILE* file;
    const char* path;
    std::FILE* warnings;
    int lineNumber = 0;

    void skipHeading() {
        Line line;
        if (!readLine(file, line)) return;
        ++lineNumber;
        if (line.length > rulesHeadingLimit)
            std::fprintf(warnings, "%s:%d: warning: heading of %lld characters is longer than %d; the whole line is skipped\n",
                         path, lineNumber, line.length, rulesHeadingLimit);
    }

    void readList(std::int32_t (&list)[ruleListLength]) {
        for (std::int32_t& entry : list) {
            Line line;
            if (!readLine(file, line)) return;
            ++lineNumber;
            entry = line.entry.value();
            if (line.length > rulesEntryLimit)
                std::fprintf(warnings, "%s:%d: warning: entry of %lld characters is longer than %d; read as %d from the whole line\n",
                             path, lineNumber, line.length, rulesEntryLimit, entry);
        }
    }
};

}  // namespace

void EntryParser::feed(char c) {
    switch (phase) {
    case LeadingSpace:
        if (isAtoiSpace(c)) return;
        phase = Digits;
        if (c == '-' || c == '+') {
            negative = c == '-';
            return;
        }
        [[fallthrough]];
    case Digits:
        if (c < '0' || c > '9') {
            phase = Done;
            return;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > magnitudeCap) magnitude = magnitudeCap;
        return;
    case Done:
        return;
    }
}

int EntryParser::value() const {
    if (negative) return magnitude >= magnitudeCap ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

bool loadRulesFrom(const char* path, std::FILE* out, std::FILE* warnings) {
    for (int i = 0; i < ruleListLength; ++i) rules.survival[i] = rules.birth[i] = noCount;

    std::FILE* file = std::fopen(path, "rb");
    bool readable = file != nullptr;
    if (readable) {
        RulesReader reader{file, path, warnings};
        reader.skipHeading();
        reader.readList(rules.survival);
        reader.skipHeading();
        reader.readList(rules.birth);
        readable = !std::ferror(file);  // a directory, say, opens but cannot be read
        std::fclose(file);
    }
    if (!readable) {
        setDefaultRules();
        std::fputs(rulesMissingMessage, out);
        std::fflush(out);
    }
    return readable;
}

void loadRules() {
    loadRulesFrom(rulesFileName, stdout, stderr);
}
