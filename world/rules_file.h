// The rules file: a heading line, the 26 survival entries, a heading line, the 26 birth entries.
#pragma once

#include <cstdio>

constexpr const char* rulesFileName = "rules.ini";
constexpr const char* rulesMissingMessage = "Error opening rules.ini, default rules loaded";
constexpr int rulesHeadingLimit = 99;  // characters a heading line may hold
constexpr int rulesEntryLimit = 3;     // characters an entry line may hold
constexpr int rulesLastLine = 54;      // the last line read: the 26th birth entry

// Fills rules from the file at path. Every entry the file does not give stays 99.
//
// Only a regular file is read: opening never blocks, so a FIFO, a device, a socket or a directory is
// treated as a file that cannot be opened. Then the default rules are set and rulesMissingMessage goes
// to out (no line end, flushed at once); warnings gets one line saying why, unless the file simply
// does not exist.
//
// Each entry is its whole line converted as atoi does (leading white space, an optional sign, decimal
// digits up to the first other character, no leading number giving 0), saturating at the ends of
// int32; lines end at LF, and a CR just before an LF or the end of the file belongs to the line end.
// Nothing after line 54 is read, and a line of any length, sparse runs included, is passed over at
// memory speed.
//
// The values never depend on warnings, which go to warnings as one line each, naming the file and,
// where there is one, the line: an entry line that is empty, has no leading number, is longer than
// rulesEntryLimit, has characters after its number, or holds a value that matches no neighbour count
// (other than the filler 99); a heading longer than rulesHeadingLimit (a UTF-8 byte-order mark at the
// start of the file is not counted); a CR that ends no line; a file that ends before line 54.
// Returns false when the defaults were used.
bool loadRulesFrom(const char* path, std::FILE* out, std::FILE* warnings);
