// The automaton, fast against plain, under the default rules on the start world with a random
// interior of the given density. The fast step is measured on every vector target this processor
// runs: BM_<What>/Plain/<args> beside BM_<What>/<target>/<args> (AVX3, AVX2, SSE4, ...).
#include "shell/vector_targets.h"
#include "tests/reference/plain_automaton.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The start world with every interior cell Live with probability percent / 100 (fixed seed), kept
// so that every timed generation starts from the same world.
std::vector<Cell> startWorld(int percent, std::uint64_t seed = 4242) {
    setDefaultRules();
    buildStartWorld();
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> roll(0, 99);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) grid[x][y][z].state = roll(rng) < percent ? Live : Empty;
    const Cell* first = &grid[0][0][0];
    return std::vector<Cell>(first, first + sizeof(CellGrid) / sizeof(Cell));
}

// Both grids as the program leaves them between steps: the second buffer's states equal the grid's,
// so that the fast step has to rewrite it wherever a cell changes, as it does in the program.
void restore(const std::vector<Cell>& world) {
    std::memcpy(&grid[0][0][0], world.data(), sizeof(CellGrid));
    std::memcpy(&nextGrid[0][0][0], world.data(), sizeof(CellGrid));
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs the fast step on one vector target for the length of a benchmark.
class OnTarget {
public:
    OnTarget(benchmark::State& state, std::int64_t target) {
        if (!restrictVectorTarget(target) || activeVectorTarget() != target)
            state.SkipWithError("this processor cannot run the target");
    }
    ~OnTarget() { restrictVectorTarget(0); }
    OnTarget(const OnTarget&) = delete;
    OnTarget& operator=(const OnTarget&) = delete;
};

// One generation, as the space key runs it: the fast one includes packing the grid into bits and
// writing both grids back. Successive iterations take their world in turn from several of the same
// density: stepping one world over and over would let the processor learn its pattern of branches,
// which no run of the program repeats.
constexpr int worldCount = 8;

std::vector<std::vector<Cell>> startWorlds(int percent) {
    std::vector<std::vector<Cell>> worlds;
    for (int i = 0; i < worldCount; ++i) worlds.push_back(startWorld(percent, 4242 + i));
    return worlds;
}

void BM_AutomatonStepPlain(benchmark::State& state) {
    const std::vector<std::vector<Cell>> worlds = startWorlds(static_cast<int>(state.range(0)));
    int turn = 0;
    for (auto _ : state) {
        restore(worlds[turn++ % worldCount]);
        const Clock::time_point start = Clock::now();
        plainStepGeneration(grid, nextGrid, rules);
        state.SetIterationTime(secondsSince(start));
    }
}
BENCHMARK(BM_AutomatonStepPlain)->Name("BM_Automaton_Step/Plain")->Arg(1)->Arg(30)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_AutomatonStepFast(benchmark::State& state, std::int64_t target) {
    const OnTarget on(state, target);
    const std::vector<std::vector<Cell>> worlds = startWorlds(static_cast<int>(state.range(0)));
    int turn = 0;
    for (auto _ : state) {
        restore(worlds[turn++ % worldCount]);
        const Clock::time_point start = Clock::now();
        stepGeneration();
        state.SetIterationTime(secondsSince(start));
    }
}

// The cost of one generation inside a run of 1,000 (one block of the long batch), packing and
// writing back shared among them. The plain step has no such sharing: its counterpart is one
// generation as above.
constexpr int runLength = 1000;

void BM_AutomatonInRunPlain(benchmark::State& state) {
    BM_AutomatonStepPlain(state);
}
BENCHMARK(BM_AutomatonInRunPlain)->Name("BM_Automaton_InRun/Plain")->Arg(30)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_AutomatonInRunFast(benchmark::State& state, std::int64_t target) {
    const OnTarget on(state, target);
    const std::vector<Cell> world = startWorld(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        restore(world);
        const Clock::time_point start = Clock::now();
        stepGenerations(runLength);
        state.SetIterationTime(secondsSince(start) / runLength);
    }
}

// The 10,000-generation batch of keys d and f: ten runs of 1,000. The plain batch would take
// seconds, so its figure is estimated: 200 plain generations, timed and scaled by 50.
constexpr int batchBlocks = 10;
constexpr int plainSample = 200;

void BM_AutomatonBatchPlain(benchmark::State& state) {
    const std::vector<Cell> world = startWorld(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        restore(world);
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < plainSample; ++i) plainStepGeneration(grid, nextGrid, rules);
        state.SetIterationTime(secondsSince(start) * (batchBlocks * runLength / plainSample));
    }
    state.SetLabel("estimated: 200 generations timed, x50");
}
BENCHMARK(BM_AutomatonBatchPlain)->Name("BM_Automaton_Batch/Plain")->Arg(30)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_AutomatonBatchFast(benchmark::State& state, std::int64_t target) {
    const OnTarget on(state, target);
    const std::vector<Cell> world = startWorld(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        restore(world);
        const Clock::time_point start = Clock::now();
        for (int block = 0; block < batchBlocks; ++block) stepGenerations(runLength);
        state.SetIterationTime(secondsSince(start));
    }
}

// The fast versions, one of each per target this processor runs, best target first.
[[maybe_unused]] const bool registered = [] {
    for (std::int64_t bits = processorVectorTargets(); bits != 0; bits &= bits - 1) {
        const std::int64_t target = bits & -bits;
        const std::string name = vectorTargetName(target);
        benchmark::RegisterBenchmark(("BM_Automaton_Step/" + name).c_str(), BM_AutomatonStepFast, target)
            ->Arg(1)->Arg(30)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);
        // The reported time is a fraction of the measured one, so the iteration count is fixed
        // rather than left to grow until the reported time adds up.
        benchmark::RegisterBenchmark(("BM_Automaton_InRun/" + name).c_str(), BM_AutomatonInRunFast, target)
            ->Arg(30)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_Automaton_Batch/" + name).c_str(), BM_AutomatonBatchFast, target)
            ->Arg(30)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
