// Runs a check once on every vector target the kernels were built for and this processor runs, and
// says on standard output which targets ran and which were built but could not run here, so that a
// target missing from a machine never passes in silence.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The built targets this processor runs, best first.
std::vector<std::int64_t> runnableVectorTargets();

// Prints which built targets ran here and which the processor lacks, for the test called label.
void reportVectorTargets(const std::string& label);

// Calls check(target, name) with every kernel restricted to that target, best target first, then
// lifts the restriction. The line printed names the test (label), the targets run and those not run.
// The number of random cases a test takes where it would take `full`: all of them, or at most
// CELLVANE_RANDOM_CASES (at least 1) when that is set, as the runs under an emulator set it. Only the
// count of random cases shrinks; every kind of case still runs on every target.
int randomCases(int full);

void forEachVectorTarget(const std::string& label, const std::function<void(std::int64_t target, const char* name)>& check);
