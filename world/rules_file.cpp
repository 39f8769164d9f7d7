#include "world/rules_file.h"

#include "shell/platform.h"
#include "world/automaton.h"

#include <climits>
#include <cstring>

namespace {

bool isAtoiSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr long long magnitudeCap = static_cast<long long>(INT_MAX) + 1;

// The value of an entry line as atoi gives it, fed one character at a time, and what else the line
// holds: whether it had a number at all, and whether anything but white space follows the number.
struct EntryParser {
    enum Phase { LeadingSpace, Digits, AfterNumber, Done } phase = LeadingSpace;
    bool negative = false;
    bool hasDigits = false;
    bool trailing = false;  // a character other than white space after the number
    long long magnitude = 0;

    void feed(unsigned char c) {
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
            if (c >= '0' && c <= '9') {
                hasDigits = true;
                magnitude = magnitude * 10 + (c - '0');
                if (magnitude > magnitudeCap) magnitude = magnitudeCap;
                return;
            }
            phase = hasDigits ? AfterNumber : Done;
            [[fallthrough]];
        case AfterNumber:
            if (phase == AfterNumber && !isAtoiSpace(c)) {
                trailing = true;
                phase = Done;
            }
            return;
        case Done:
            return;
        }
    }

    int value() const {
        if (negative) return magnitude >= magnitudeCap ? INT_MIN : static_cast<int>(-magnitude);
        return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    }
};

// One line as read: its length, the start of its text for warnings, and its entry value.
struct Line {
    static constexpr int shownLimit = 12;  // characters of the line a warning quotes

    long long length = 0;  // characters, without the line end
    char shown[shownLimit] = {};
    bool innerCarriageReturn = false;  // a CR that ends no line
    EntryParser entry;

    void take(const unsigned char* text, std::size_t count) {
        for (std::size_t i = 0; length + static_cast<long long>(i) < shownLimit && i < count; ++i)
            shown[length + i] = static_cast<char>(text[i]);
        for (std::size_t i = 0; i < count && entry.phase != EntryParser::Done; ++i) entry.feed(text[i]);
        if (!innerCarriageReturn && std::memchr(text, '\r', count) != nullptr) innerCarriageReturn = true;
        length += static_cast<long long>(count);
    }
    // A run of NUL bytes, as a hole in a sparse file reads.
    void takeZeros(long long count) {
        entry.feed('\0');
        length += count;
    }
};

constexpr std::size_t chunkSize = 64 * 1024;

// The open file, read in large chunks so that a line of any length is passed over at memory speed.
// The holes of a sparse file read as NUL bytes; they are counted without being read.
struct Source {
    platform::File file = -1;
    bool seekData = true;   // the file system tells where data is
    long long offset = 0;   // of the next byte to read from the file
    std::size_t pos = 0;
    std::size_t end = 0;
    long long zeros = 0;   // bytes of a hole at the read position
    int error = 0;         // the system's code of a failed read
    unsigned char chunk[chunkSize];

    void reset(platform::File opened) {
        file = opened;
        seekData = true;
        offset = 0;
        pos = end = 0;
        zeros = 0;
        error = 0;
    }

    // Makes more of the file available at the read position: false at its end or on an error.
    bool fill() {
        if (pos < end || zeros > 0) return true;
        if (seekData && skipHole()) return true;
        const long long got = platform::readFile(file, chunk, chunkSize, error);
        if (got <= 0) return false;
        pos = 0;
        end = static_cast<std::size_t>(got);
        offset += got;
        return true;
    }

  private:
    // Moves past a hole at offset, to the data after it or to the end of the file; true if there
    // was one.
    bool skipHole() {
        const long long data = platform::skipToData(file, offset);
        if (data < 0) {
            seekData = false;  // not supported here: read everything
            return false;
        }
        if (data <= offset) return false;
        zeros = data - offset;
        offset = data;
        return true;
    }
};

Source source;

// Reads the next line; returns false when the file holds no more characters (a read at its end).
bool readLine(Line& line) {
    line = Line{};
    bool any = false;
    bool pendingCarriageReturn = false;  // a CR at the end of a chunk: line end or text, by what follows
    const unsigned char carriageReturn = '\r';
    for (;;) {
        if (!source.fill()) return any;
        any = true;
        if (source.zeros > 0) {
            if (pendingCarriageReturn) line.take(&carriageReturn, 1);
            pendingCarriageReturn = false;
            line.takeZeros(source.zeros);
            source.zeros = 0;
            continue;
        }
        const unsigned char* text = source.chunk + source.pos;
        const std::size_t available = source.end - source.pos;
        const void* lineFeed = std::memchr(text, '\n', available);
        const std::size_t count = lineFeed != nullptr ? static_cast<const unsigned char*>(lineFeed) - text : available;
        if (pendingCarriageReturn && !(lineFeed != nullptr && count == 0)) line.take(&carriageReturn, 1);
        pendingCarriageReturn = false;
        std::size_t content = count;
        if (content > 0 && text[content - 1] == '\r') {
            --content;
            pendingCarriageReturn = lineFeed == nullptr;
        }
        line.take(text, content);
        source.pos += count;
        if (lineFeed != nullptr) {
            ++source.pos;
            return true;
        }
    }
}

// The start of a line's text as a warning quotes it: printable characters as they are, others as
// \xHH, and "..." when the line goes on.
const char* quoted(const Line& line) {
    static char text[Line::shownLimit * 4 + 8];
    char* at = text;
    const long long shown = line.length < Line::shownLimit ? line.length : Line::shownLimit;
    for (long long i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(line.shown[i]);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\')
            *at++ = static_cast<char>(c);
        else
            at += std::snprintf(at, 5, "\\x%02x", c);
    }
    std::strcpy(at, line.length > shown ? "..." : "");
    return text;
}

bool startsWithByteOrderMark(const Line& line) {
    return line.length >= 3 && std::memcmp(line.shown, "\xEF\xBB\xBF", 3) == 0;
}

struct RulesReader {
    const char* path;
    std::FILE* warnings;
    int lineNumber = 0;  // lines read so far; below rulesLastLine at the end only if the file ended early

    bool next(Line& line) {
        if (!readLine(line)) return false;
        ++lineNumber;
        if (line.innerCarriageReturn)
            std::fprintf(warnings, "%s:%d: warning: a carriage return (CR) inside the line ends no line; only LF or CR LF end a line\n",
                         path, lineNumber);
        return true;
    }

    void skipHeading() {
        Line line;
        if (!next(line)) return;
        const long long length = line.length - (lineNumber == 1 && startsWithByteOrderMark(line) ? 3 : 0);
        if (length > rulesHeadingLimit)
            std::fprintf(warnings, "%s:%d: warning: heading of %lld characters is longer than %d; the whole line is skipped\n",
                         path, lineNumber, length, rulesHeadingLimit);
    }

    void readList(std::int32_t (&list)[ruleListLength], const char* listName) {
        for (std::int32_t& entry : list) {
            Line line;
            if (!next(line)) return;
            entry = line.entry.value();
            warnAbout(line, entry, listName);
        }
    }

    // At most one warning per entry line: the first of these that applies.
    void warnAbout(const Line& line, int value, const char* listName) {
        if (line.length == 0)
            std::fprintf(warnings, "%s:%d: warning: empty entry line read as 0, so count 0 is on the %s list\n",
                         path, lineNumber, listName);
        else if (!line.entry.hasDigits)
            std::fprintf(warnings, "%s:%d: warning: entry \"%s\" has no leading number; read as 0, so count 0 is on the %s list\n",
                         path, lineNumber, quoted(line), listName);
        else if (line.length > rulesEntryLimit)
            std::fprintf(warnings, "%s:%d: warning: entry of %lld characters is longer than %d; read as %d from the whole line\n",
                         path, lineNumber, line.length, rulesEntryLimit, value);
        else if (line.entry.trailing)
            std::fprintf(warnings, "%s:%d: warning: entry \"%s\" read as %d; the characters after the number are ignored\n",
                         path, lineNumber, quoted(line), value);
        else if ((value < 0 || value > 26) && value != noCount)
            std::fprintf(warnings, "%s:%d: warning: entry %d matches no neighbour count (0 to 26), so it adds nothing to the %s list\n",
                         path, lineNumber, value, listName);
    }

    void warnIfEndedEarly() {
        if (lineNumber >= rulesLastLine) return;
        if (lineNumber == 0) {
            std::fprintf(warnings, "%s: warning: the file is empty; every entry stays unused (99), so no cell is ever born or survives\n",
                         path);
            return;
        }
        const int firstUnread = lineNumber + 1 == 28 ? 29 : lineNumber + 1;  // line 28 is a heading
        std::fprintf(warnings, "%s:%d: warning: the file ends after line %d; the entries from line %d on stay unused (99)\n",
                     path, lineNumber, lineNumber, firstUnread);
    }
};

}  // namespace

bool loadRulesFrom(const char* path, std::FILE* out, std::FILE* warnings) {
    for (int i = 0; i < ruleListLength; ++i) rules.survival[i] = rules.birth[i] = noCount;

    source.reset(platform::openRegularFile(path, warnings));
    bool readable = source.file >= 0;
    if (readable) {
        RulesReader reader{path, warnings};
        reader.skipHeading();
        reader.readList(rules.survival, "survival");
        reader.skipHeading();
        reader.readList(rules.birth, "birth");
        readable = source.error == 0;
        if (readable)
            reader.warnIfEndedEarly();
        else
            std::fprintf(warnings, "%s: cannot be read: %s\n", path, platform::errorText(source.error));
        platform::closeFile(source.file);
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
