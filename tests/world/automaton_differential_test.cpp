// The program's automaton against the literal reference step, bit for bit: whole grids (colours,
// shell and interior) and the second buffer, over seeded random worlds and rules, on every vector
// target this processor runs.
#include "shell/vector_targets.h"
#include "tests/reference/plain_automaton.h"
#include "tests/support/program_state.h"
#include "tests/support/rule_lists.h"
#include "tests/support/vector_targets.h"
#include "world/automaton.h"
#include "world/grid.h"
#include "world/step_kernel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int cellCount = gridSize * gridSize * gridSize;

// A saved world: both grids, cell for cell.
struct Worlds {
    std::vector<Cell> current = std::vector<Cell>(cellCount);
    std::vector<Cell> next = std::vector<Cell>(cellCount);
};

void saveProgramWorlds(Worlds& into) {
    std::memcpy(into.current.data(), &grid[0][0][0], sizeof(CellGrid));
    std::memcpy(into.next.data(), &nextGrid[0][0][0], sizeof(CellGrid));
}

Worlds saveProgramWorlds() {
    Worlds w;
    saveProgramWorlds(w);
    return w;
}

void loadProgramWorlds(const Worlds& w) {
    std::memcpy(&grid[0][0][0], w.current.data(), sizeof(CellGrid));
    std::memcpy(&nextGrid[0][0][0], w.next.data(), sizeof(CellGrid));
}

CellGrid& asGrid(std::vector<Cell>& cells) {
    return *reinterpret_cast<CellGrid*>(cells.data());
}

// Empty when the grids are equal, else where and how the first differing cell differs.
std::string firstDifference(const char* what, const Cell* expected, const Cell* actual) {
    if (std::memcmp(expected, actual, sizeof(CellGrid)) == 0) return "";
    for (int i = 0; i < cellCount; ++i) {
        const Cell& e = expected[i];
        const Cell& a = actual[i];
        if (std::memcmp(&e, &a, sizeof(Cell)) != 0)
            return std::string(what) + " cell (" + std::to_string(i / (gridSize * gridSize)) + ", " +
                   std::to_string(i / gridSize % gridSize) + ", " + std::to_string(i % gridSize) + "): expected state " +
                   std::to_string(e.state) + " colour " + std::to_string(e.red) + "/" + std::to_string(e.green) + "/" +
                   std::to_string(e.blue) + ", got state " + std::to_string(a.state) + " colour " +
                   std::to_string(a.red) + "/" + std::to_string(a.green) + "/" + std::to_string(a.blue);
    }
    return "";
}

// How the program's grids differ from expected ("" when they do not).
std::string programDifferenceFrom(const Worlds& expected) {
    std::string d = firstDifference("grid", expected.current.data(), &grid[0][0][0]);
    return d.empty() ? firstDifference("nextGrid", expected.next.data(), &nextGrid[0][0][0]) : d;
}

// Every interior cell Live with probability percent / 100.
void fillInterior(std::vector<Cell>& cells, int percent, std::mt19937_64& rng) {
    std::uniform_int_distribution<int> roll(0, 99);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z)
                cells[(x * gridSize + y) * gridSize + z].state = roll(rng) < percent ? Live : Empty;
}

// Random bytes in every cell of the second buffer: the step may rely on nothing in it.
void scribble(std::vector<Cell>& cells, std::mt19937_64& rng) {
    std::uniform_int_distribution<int> byte(0, 255);
    for (Cell& c : cells) c = Cell{std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng)), std::uint8_t(byte(rng))};
}

// Lists of random length mixing counts with duplicates, 99, values past 26, negatives and extremes.
RuleSet randomRules(std::mt19937_64& rng) {
    RuleSet r;
    for (std::int32_t* list : {r.survival, r.birth}) {
        for (int i = 0; i < ruleListLength; ++i) list[i] = noCount;
        const int length = std::uniform_int_distribution<int>(0, ruleListLength)(rng);
        for (int i = 0; i < length; ++i) {
            const int kind = std::uniform_int_distribution<int>(0, 19)(rng);
            if (kind < 13) list[i] = std::uniform_int_distribution<int>(0, 26)(rng);
            else if (kind < 15 && i > 0) list[i] = list[std::uniform_int_distribution<int>(0, i - 1)(rng)];
            else if (kind < 16) list[i] = noCount;
            else if (kind < 17) list[i] = std::uniform_int_distribution<int>(27, 1000)(rng);
            else if (kind < 18) list[i] = std::uniform_int_distribution<int>(-1000, -1)(rng);
            else if (kind < 19) list[i] = kind % 2 ? INT_MIN : INT_MAX;
            else list[i] = 0;
        }
    }
    return r;
}

// Birth on odd counts, survival on even ones: a world that stays busy for thousands of generations.
RuleSet parityRules() {
    return listsOf({0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26},
                   {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25});
}

// Checks that target is the one in use, by the target list and by the step kernels themselves.
void expectRunningOn(std::int64_t target, const char* name) {
    ASSERT_EQ(activeVectorTarget(), target) << name;
    ASSERT_EQ(stepKernelTarget(), target) << name << " was asked for, the step kernels run "
                                          << vectorTargetName(stepKernelTarget());
}

// The reference's worlds after 0, 1, ..., generations steps of start under r.
std::vector<Worlds> referenceRun(const Worlds& start, const RuleSet& r, int generations) {
    std::vector<Worlds> run(1, start);
    for (int g = 1; g <= generations; ++g) {
        run.push_back(run.back());
        plainStepGeneration(asGrid(run.back().current), asGrid(run.back().next), r);
    }
    return run;
}

class AutomatonDifferential : public testing::Test {
protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override {
        restrictVectorTarget(0);
        resetProgramState();
    }

    // A start world (caption included) with a random interior and a scribbled second buffer.
    static Worlds randomWorld(int percent, std::mt19937_64& rng) {
        buildStartWorld();
        Worlds w = saveProgramWorlds();
        fillInterior(w.current, percent, rng);
        scribble(w.next, rng);
        return w;
    }

    // Runs generations steps of start under r through stepGeneration() on every target, comparing
    // both grids with the reference's after each one.
    static void expectLockstep(const Worlds& start, const RuleSet& r, int generations, const std::string& label) {
        const std::vector<Worlds> reference = referenceRun(start, r, generations);
        forEachVectorTarget(label, [&](std::int64_t target, const char* name) {
            expectRunningOn(target, name);
            rules = r;
            loadProgramWorlds(start);
            for (int g = 1; g <= generations; ++g) {
                stepGeneration();
                ASSERT_EQ(programDifferenceFrom(reference[g]), "") << label << ", " << name << ", generation " << g;
            }
        });
    }
};

TEST_F(AutomatonDifferential, EveryDensityUnderDefaultAndRandomRulesForThirtyGenerations) {
    std::mt19937_64 rng(20261207);
    for (int percent : {0, 1, 30, 70, 100}) {
        setDefaultRules();
        expectLockstep(randomWorld(percent, rng), rules, 30, std::to_string(percent) + " % under default rules");
        const RuleSet r = randomRules(rng);
        expectLockstep(randomWorld(percent, rng), r, 30, std::to_string(percent) + " % under random rules");
        expectLockstep(randomWorld(percent, rng), parityRules(), 30, std::to_string(percent) + " % under parity rules");
    }
}

TEST_F(AutomatonDifferential, ManyRandomRuleSetsAtRandomDensities) {
    std::mt19937_64 rng(77);
    for (int i = 0; i < randomCases(24); ++i) {
        const int percent = std::uniform_int_distribution<int>(0, 100)(rng);
        const RuleSet r = randomRules(rng);
        expectLockstep(randomWorld(percent, rng), r, 3, "rule set " + std::to_string(i) + " at " + std::to_string(percent) + " %");
    }
}

TEST_F(AutomatonDifferential, AwkwardRuleLists) {
    std::mt19937_64 rng(5);
    const RuleSet awkward[] = {
        listsOf({}, {0}),                                          // birth far from any Live cell
        listsOf({0}, {}),                                          // lone cells survive
        listsOf({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25},
                {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}),
        listsOf({26, 26, 26}, {26, 1, 1}),                         // the full count, duplicates
        listsOf({27, -1, 99, INT_MIN, INT_MAX}, {27, 28, -27, 31, 32}),  // nothing matches
        listsOf({-1, 3, 27, 3, 4}, {3, 99, 0, 100}),
    };
    for (std::size_t i = 0; i < std::size(awkward); ++i)
        for (int percent : {0, 30, 100})
            expectLockstep(randomWorld(percent, rng), awkward[i], 4,
                           "awkward rules " + std::to_string(i) + " at " + std::to_string(percent) + " %");
}

// Cells whose state is neither Empty nor Live: in the shell they are no neighbours (and a Live shell
// cell is one); in the interior they are judged by survival but never counted.
TEST_F(AutomatonDifferential, ShellAndInteriorCellsOfOtherStates) {
    std::mt19937_64 rng(11);
    Worlds w = randomWorld(30, rng);
    auto at = [&w](int x, int y, int z) -> Cell& { return w.current[(x * gridSize + y) * gridSize + z]; };
    for (int a = 0; a < gridSize; a += 3)
        for (int b = 0; b < gridSize; b += 5) {
            at(0, a, b).state = Live;
            at(a, b, 63).state = Live;
            at(a, 63, b).state = 7;
        }
    at(20, 20, 20).state = Wall;
    at(40, 1, 62).state = Caption;
    at(1, 1, 1).state = 200;
    expectLockstep(w, parityRules(), 6, "unusual states, parity rules");
    setDefaultRules();
    expectLockstep(w, rules, 6, "unusual states, default rules");
}

// A single generation reads the grid plane by plane as it writes it back, so a cell of another state
// may turn up after earlier planes have been written: they must be put back before the generation
// runs cell by cell. Runs of generations meet such a cell before anything is written.
TEST_F(AutomatonDifferential, OtherStatesFoundPartWayThroughTheGrid) {
    std::mt19937_64 rng(4040);
    for (int x : {interiorFirst, 3, 4, 5, 33, 60, interiorLast}) {
        Worlds w = randomWorld(30, rng);
        w.current[(x * gridSize + 17) * gridSize + 62].state = x % 2 ? Wall : Caption;
        const std::string where = "another state in plane " + std::to_string(x);
        setDefaultRules();
        expectLockstep(w, rules, 2, where + ", single generations");
        const std::vector<Worlds> reference = referenceRun(w, rules, 3);
        forEachVectorTarget(where + ", a run of 3", [&](std::int64_t target, const char* name) {
            expectRunningOn(target, name);
            loadProgramWorlds(w);
            stepGenerations(3);
            ASSERT_EQ(programDifferenceFrom(reference[3]), "") << where << ", " << name << ", a run of 3";
        });
    }
}

// A run of generations in one call gives what as many single reference steps give, for short and
// long runs, on a world that stays busy.
TEST_F(AutomatonDifferential, RunsOfGenerationsInOneCall) {
    std::mt19937_64 rng(3);
    const Worlds start = randomWorld(30, rng);
    const RuleSet r = parityRules();
    Worlds reference = start;
    int done = 0;
    for (int run : {0, 1, 2, 7, 50, 200}) {
        for (; done < run; ++done) plainStepGeneration(asGrid(reference.current), asGrid(reference.next), r);
        forEachVectorTarget(std::to_string(run) + " generations in one call", [&](std::int64_t target, const char* name) {
            expectRunningOn(target, name);
            loadProgramWorlds(start);
            rules = r;
            stepGenerations(run);
            if (run == 0) {
                EXPECT_EQ(programDifferenceFrom(start), "") << name << ": no generations must change nothing";
                stepGenerations(-5);
                EXPECT_EQ(programDifferenceFrom(start), "") << name << ": a negative count must change nothing";
                return;
            }
            ASSERT_EQ(programDifferenceFrom(reference), "") << name << ", " << run << " generations at once";
        });
    }
}

// Between steps the controls place and remove cells in grid, so the second buffer no longer matches
// it; its states may also have been overwritten. Every step must still rewrite both grids exactly,
// whatever the pattern of changed cells (runs along z, lone cells, whole chunks).
TEST_F(AutomatonDifferential, CellsEditedBetweenSteps) {
    std::mt19937_64 rng(404);
    std::uniform_int_distribution<int> interior(interiorFirst, interiorLast);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int percent : {1, 30, 100}) {
        forEachVectorTarget("edits between steps at " + std::to_string(percent) + " %", [&](std::int64_t target, const char* name) {
            expectRunningOn(target, name);
            Worlds reference = randomWorld(percent, rng);
            Worlds program = reference;
            const RuleSet r = percent == 30 ? parityRules() : listsOf({2, 3}, {3});
            rules = r;
            for (int g = 1; g <= 12; ++g) {
                // The same edits to both: single cells flipped, a run along z set, and some state
                // bytes of the second buffer scribbled.
                for (int i = 0; i < 40; ++i) {
                    const int at = (interior(rng) * gridSize + interior(rng)) * gridSize + interior(rng);
                    const std::uint8_t flipped = reference.current[at].state == Live ? Empty : Live;
                    reference.current[at].state = program.current[at].state = flipped;
                    const int other = (interior(rng) * gridSize + interior(rng)) * gridSize + interior(rng);
                    reference.next[other].state = program.next[other].state = static_cast<std::uint8_t>(byte(rng));
                }
                const int column = (interior(rng) * gridSize + interior(rng)) * gridSize;
                const std::uint8_t runState = g % 2 ? Live : Empty;
                for (int z = interiorFirst; z <= interiorLast; ++z)
                    reference.current[column + z].state = program.current[column + z].state = runState;

                plainStepGeneration(asGrid(reference.current), asGrid(reference.next), r);
                loadProgramWorlds(program);
                stepGeneration();
                saveProgramWorlds(program);
                ASSERT_EQ(programDifferenceFrom(reference), "")
                    << percent << " %, " << name << ", generation " << g;
            }
        });
    }
}

TEST_F(AutomatonDifferential, TheRulesAreReadAtEveryCall) {
    std::mt19937_64 rng(8);
    const Worlds start = randomWorld(30, rng);
    RuleSet changes[4];
    for (int i = 0; i < 4; ++i) changes[i] = i % 2 ? parityRules() : randomRules(rng);
    std::vector<Worlds> reference(1, start);
    for (const RuleSet& r : changes) {
        reference.push_back(reference.back());
        plainStepGeneration(asGrid(reference.back().current), asGrid(reference.back().next), r);
        plainStepGeneration(asGrid(reference.back().current), asGrid(reference.back().next), r);
    }
    forEachVectorTarget("rule changes between calls", [&](std::int64_t target, const char* name) {
        expectRunningOn(target, name);
        loadProgramWorlds(start);
        for (int i = 0; i < 4; ++i) {
            rules = changes[i];
            stepGenerations(2);
            ASSERT_EQ(programDifferenceFrom(reference[i + 1]), "") << name << ", after rule change " << i;
        }
    });
}

// The ends of every column lie next to the shell: cells z = 1 and z = 62 sit in the first and last
// lane of a vector load, beside shell cells z = 0 and z = 63 (Live in some columns, so they count as
// neighbours) that must keep their state. Random colours everywhere must come through untouched.
TEST_F(AutomatonDifferential, ColumnEndsNextToTheShell) {
    std::mt19937_64 rng(62);
    std::uniform_int_distribution<int> roll(0, 99);
    std::uniform_int_distribution<int> byte(0, 255);
    Worlds w = randomWorld(0, rng);
    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            for (int z = 0; z < gridSize; ++z) {
                Cell& c = w.current[(x * gridSize + y) * gridSize + z];
                c.red = std::uint8_t(byte(rng)), c.green = std::uint8_t(byte(rng)), c.blue = std::uint8_t(byte(rng));
                if (isShellCell(x, y, z)) {
                    if ((z == 0 || z == 63) && (x + y) % 3 == 0) c.state = Live;
                    continue;
                }
                const int percent = z == 1 || z == 62 ? 60 : z == 2 || z == 61 ? 30 : 0;
                c.state = roll(rng) < percent ? Live : Empty;
            }
    expectLockstep(w, listsOf({0, 1, 2, 3, 4}, {1, 2}), 5, "column ends, busy rules");
    expectLockstep(w, listsOf({}, {}), 1, "column ends, everything dies");
    expectLockstep(w, listsOf({}, {0}), 2, "column ends, birth everywhere");
}

}  // namespace
