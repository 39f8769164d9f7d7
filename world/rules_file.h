// The rules file: a heading line, the 26 survival entries, a heading line, the 26 birth entries.
#pragma once

#include <cstdio>

constexpr const char* rulesFileName = "rules.ini";
constexpr const char* rulesMissingMessage = "Error opening rules.ini, default rules loaded";
constexpr int rulesHeadingLimit = 99;  // characters a heading line may hold
constexpr int rulesEntryLimit = 3;     // characters an entry line may hold

// Fills rules from the file at path. Every entry the file does not give stays 99. When the file cannot
// be opened or read, the default rules are set and rulesMissingMessage goes to out (no line end,
// flushed at once). Lines longer than their limit are consumed whole, an entry taking the value of
// its whole line; each gets one warning line on warnings, naming the file and the line number.
// Returns false when the defaults were used.
bool loadRulesFrom(const char* path, std::FILE* out, std::FILE* warnings);

// The value of an entry line as atoi gives it: leading white space, an optional sign, decimal digits
// up to the first other character; no leading number gives 0. Values beyond the range of int32
// saturate instead of wrapping, so a long number can never turn into a valid neighbour count.
struct EntryParser {
    enum Phase { LeadingSpace, Digits, Done } phase = LeadingSpace;
    bool negative = false;
    long long magnitude = 0;

    void feed(char c);
    int value() const;
};
