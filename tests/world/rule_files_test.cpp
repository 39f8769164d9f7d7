// The rule files shipped in rules/: each must load without a message or warning and give exactly
// the rule its two heading lines name, and each must do what the README's table of ready rule files
// says it does, from a start built as a user builds it: cells placed by the b key's own code, trails
// drawn by holding b while the controls fly and turn the camera, or the i key's inversion.
#include "camera/camera.h"
#include "camera/controls.h"
#include "tests/support/program_state.h"
#include "world/automaton.h"
#include "world/grid.h"
#include "world/rules_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
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
        EXPECT_TRUE(loadRulesFrom(file.string().c_str(), out, warnings));
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

// ---- What each file does, as the README's table of ready rule files says ----

constexpr int interiorSize = interiorLast - interiorFirst + 1;
constexpr int interiorCellCount = interiorSize * interiorSize * interiorSize;

using InteriorStates = std::vector<std::uint8_t>;

InteriorStates interiorStates() {
    InteriorStates states;
    states.reserve(interiorCellCount);
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) states.push_back(grid[x][y][z].state);
    return states;
}

int liveCount() {
    int count = 0;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) count += grid[x][y][z].state == Live;
    return count;
}

// The smallest box holding every live cell, per axis x, y, z; low above high when nothing lives.
struct LiveBox {
    std::array<int, 3> low{gridSize, gridSize, gridSize};
    std::array<int, 3> high{-1, -1, -1};

    bool touchesEveryWall() const {
        for (int axis = 0; axis < 3; ++axis)
            if (low[axis] != interiorFirst || high[axis] != interiorLast) return false;
        return true;
    }
};

LiveBox liveBox() {
    LiveBox box;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                if (grid[x][y][z].state != Live) continue;
                const int at[3] = {x, y, z};
                for (int axis = 0; axis < 3; ++axis) {
                    box.low[axis] = std::min(box.low[axis], at[axis]);
                    box.high[axis] = std::max(box.high[axis], at[axis]);
                }
            }
    return box;
}

std::string describe(const LiveBox& box) {
    std::ostringstream text;
    text << "live cells in x " << box.low[0] << ".." << box.high[0] << ", y " << box.low[1] << ".." << box.high[1]
         << ", z " << box.low[2] << ".." << box.high[2];
    return text.str();
}

// Aims the camera as a user does before pressing b or n: from the middle of the cell before (x, y, z)
// along x, looking along x, so that the cell one direction-length ahead is (x, y, z).
void aimAt(int x, int y, int z) {
    camera = startCamera;
    camera.position = {x - 0.5, y + 0.5, z + 0.5};
}

void placeWithB(int x, int y, int z) {
    aimAt(x, y, z);
    placeCell();
    ASSERT_EQ(grid[x][y][z].state, Live) << "b placed no cell at " << x << ", " << y << ", " << z;
}

void removeWithN(int x, int y, int z) {
    aimAt(x, y, z);
    removeCell();
    ASSERT_EQ(grid[x][y][z].state, Empty) << "n removed no cell at " << x << ", " << y << ", " << z;
}

// Holds b and the up arrow for a number of passes of the controls from the start view, moving the
// mouse by (dx, dy) every turnEvery passes (0: never): the trail a user draws by flying while
// placing cells.
void drawTrail(int passes, int turnEvery = 0, int dx = 0, int dy = 0) {
    camera = startCamera;
    for (int pass = 0; pass < passes; ++pass) {
        InputSnapshot input;
        input.keys[SDLK_b] = 1;
        input.keys[SDLK_UP] = 1;
        if (turnEvery != 0 && pass % turnEvery == 0) {
            input.dx = dx;
            input.dy = dy;
        }
        applyControls(input);
    }
}

// One press of i: a pass with the key down, then one with it up.
void pressInvert() {
    InputSnapshot down;
    down.keys[SDLK_i] = 1;
    applyControls(down);
    applyControls(InputSnapshot{});
}

// Where a start ends when stepped one generation at a time, as holding space steps it.
struct Fate {
    enum Kind { DiesOut, StandsStill, Repeats, StillChanging } kind;
    int generation;  // the generation at which the world was empty or first repeated an earlier one
    int period;      // for Repeats: generations between repetitions
    int live;
};

// Steps until the world is empty, equals one of the four generations before it, or limit
// generations have passed.
Fate followUntilSettled(int limit) {
    std::vector<InteriorStates> recent{interiorStates()};
    for (int generation = 1; generation <= limit; ++generation) {
        stepGeneration();
        const int live = liveCount();
        if (live == 0) return {Fate::DiesOut, generation, 0, 0};
        InteriorStates now = interiorStates();
        for (int back = 1; back <= static_cast<int>(recent.size()); ++back)
            if (recent[recent.size() - back] == now)
                return {back == 1 ? Fate::StandsStill : Fate::Repeats, generation, back, live};
        recent.push_back(std::move(now));
        if (recent.size() > 4) recent.erase(recent.begin());
    }
    return {Fate::StillChanging, limit, 0, liveCount()};
}

struct ClusterTally {
    int diedOut = 0;
    int stoodStill = 0;     // ending as a still shape of at most eight cells
    int repeated = 0;       // ending as a shape that repeats every two to four generations
    int stillChanging = 0;  // neither after sixty generations
    std::set<int> periods;  // of those that repeated
    int slowest = 0;        // the latest generation at which a cluster died out or settled
};

// Small clusters as a user scatters them with b: eight different cells, drawn from a seeded
// generator, of a 3 x 3 x 3 space in the middle of the cube; each followed for sixty generations.
ClusterTally followSmallClusters(int clusters) {
    ClusterTally tally;
    std::mt19937 random(20261207);
    for (int cluster = 0; cluster < clusters; ++cluster) {
        resetWorld();
        std::array<int, 27> spots{};
        for (int i = 0; i < 27; ++i) spots[i] = i;
        for (int i = 0; i < 8; ++i) {
            std::swap(spots[i], spots[i + static_cast<int>(random() % static_cast<unsigned>(27 - i))]);
            placeWithB(31 + spots[i] / 9, 31 + spots[i] / 3 % 3, 31 + spots[i] % 3);
        }
        const Fate fate = followUntilSettled(60);
        if (fate.kind != Fate::StillChanging) tally.slowest = std::max(tally.slowest, fate.generation);
        switch (fate.kind) {
        case Fate::DiesOut: ++tally.diedOut; break;
        case Fate::StandsStill: tally.stoodStill += fate.live <= 8; break;
        case Fate::Repeats:
            ++tally.repeated;
            tally.periods.insert(fate.period);
            break;
        case Fate::StillChanging: ++tally.stillChanging; break;
        }
    }
    return tally;
}

std::string describe(const ClusterTally& tally) {
    std::ostringstream text;
    text << tally.diedOut << " died out, " << tally.stoodStill << " stood still, " << tally.repeated
         << " repeated (periods";
    for (int period : tally.periods) text << ' ' << period;
    text << "), " << tally.stillChanging << " still changing; the slowest settled at generation " << tally.slowest;
    return text.str();
}

class ReadyRuleFile : public testing::Test {
protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }

    // Reads rules/<name> as the program reads its rules.ini.
    static void load(const char* name) {
        std::FILE* sink = std::tmpfile();
        ASSERT_NE(sink, nullptr);
        const bool read = loadRulesFrom((shippedRulesDir / name).string().c_str(), sink, sink);
        const std::string printed = contentsOf(sink);
        std::fclose(sink);
        ASSERT_TRUE(read) << name;
        ASSERT_EQ(printed, "") << name;
    }
};

// The churning mass of the default rules and of the architecture file: after fifty generations (one
// press of s) the live cells reach all six walls, after fifty more the share of live cells lies in
// [lowShare, highShare], and every further generation still changes the world.
void expectMassFillsTheCubeAndKeepsChanging(double lowShare, double highShare) {
    stepGenerations(50);
    EXPECT_TRUE(liveBox().touchesEveryWall()) << "after 50 generations: " << describe(liveBox());
    stepGenerations(50);
    for (int generation = 0; generation < 3; ++generation) {
        const InteriorStates before = interiorStates();
        stepGeneration();
        const double share = static_cast<double>(liveCount()) / interiorCellCount;
        EXPECT_GE(share, lowShare);
        EXPECT_LE(share, highShare);
        EXPECT_NE(interiorStates(), before) << "the mass stood still";
    }
}

TEST_F(ReadyRuleFile, DefaultRulesTurnThreeInARowIntoAPlateThatGrowsIntoAChurningMass) {
    ASSERT_NO_FATAL_FAILURE(load("default-23-3.ini"));
    drawTrail(12);  // at 0.2 cells a pass: the cells 1, 2 and 3 ahead of the start point
    ASSERT_EQ(liveCount(), 3);
    for (int x = 33; x <= 35; ++x) ASSERT_EQ(grid[x][32][32].state, Live) << x;

    stepGeneration();
    EXPECT_EQ(liveCount(), 9);
    for (int y = 31; y <= 33; ++y)
        for (int z = 31; z <= 33; ++z) EXPECT_EQ(grid[34][y][z].state, Live) << "plate cell " << y << ", " << z;

    stepGenerations(9);
    EXPECT_FALSE(liveBox().touchesEveryWall()) << "after 10 generations: " << describe(liveBox());
    stepGenerations(40);
    EXPECT_TRUE(liveBox().touchesEveryWall()) << "after 50 generations: " << describe(liveBox());
    expectMassFillsTheCubeAndKeepsChanging(1.0 / 8, 1.0 / 5);
}

TEST_F(ReadyRuleFile, DefaultRulesGrowATurningTrailButLetAStraightOneDie) {
    ASSERT_NO_FATAL_FAILURE(load("default-23-3.ini"));
    drawTrail(60, 3, 6, 0);
    EXPECT_GE(liveCount(), 10);
    expectMassFillsTheCubeAndKeepsChanging(1.0 / 8, 1.0 / 5);

    resetWorld();
    drawTrail(40);
    ASSERT_GE(liveCount(), 8);
    const Fate fate = followUntilSettled(20);
    EXPECT_EQ(fate.kind, Fate::DiesOut) << "a straight trail ended with " << fate.live << " cells";
}

TEST_F(ReadyRuleFile, ArchitectureGrowsAShortTrailIntoABusyStructure) {
    ASSERT_NO_FATAL_FAILURE(load("architecture-456-3.ini"));
    drawTrail(40);  // a straight trail of eight or nine cells
    ASSERT_GE(liveCount(), 8);
    expectMassFillsTheCubeAndKeepsChanging(1.0 / 6, 1.0 / 4);

    resetWorld();
    drawTrail(60, 2, 5, 3);
    expectMassFillsTheCubeAndKeepsChanging(1.0 / 6, 1.0 / 4);
}

TEST_F(ReadyRuleFile, Life4555KillsMostSmallClustersAndKeepsAFewShapes) {
    ASSERT_NO_FATAL_FAILURE(load("life-4555.ini"));
    const ClusterTally tally = followSmallClusters(100);
    SCOPED_TRACE(describe(tally));
    EXPECT_GE(tally.diedOut, 90);
    EXPECT_GE(tally.stoodStill, 1);
    EXPECT_GE(tally.repeated, 1);
    EXPECT_EQ(tally.periods, std::set<int>{4});
    EXPECT_EQ(tally.stillChanging, 0);
    EXPECT_LE(tally.slowest, 10);
}

TEST_F(ReadyRuleFile, Life4555KeepsABlockWithTwoCellsTakenAwayAsItIs) {
    ASSERT_NO_FATAL_FAILURE(load("life-4555.ini"));
    constexpr int corner = 32;
    for (int first = 0; first < 8; ++first)
        for (int second = first + 1; second < 8; ++second) {
            SCOPED_TRACE("without block cells " + std::to_string(first) + " and " + std::to_string(second));
            resetWorld();
            for (int cell = 0; cell < 8; ++cell) placeWithB(corner + (cell >> 2), corner + (cell >> 1 & 1), corner + (cell & 1));
            for (int cell : {first, second}) removeWithN(corner + (cell >> 2), corner + (cell >> 1 & 1), corner + (cell & 1));
            const InteriorStates built = interiorStates();
            stepGeneration();
            EXPECT_EQ(interiorStates(), built);
            stepGenerations(50);
            EXPECT_EQ(interiorStates(), built);
            EXPECT_EQ(liveCount(), 6);
        }
}

// Four cells around an empty middle, one on top of the middle and two under the ends of one arm: the
// two under cells move to the ends of the other arm and back, every generation.
TEST_F(ReadyRuleFile, Life4555BlinkerFlipsEveryGeneration) {
    ASSERT_NO_FATAL_FAILURE(load("life-4555.ini"));
    constexpr int x = 32, y = 32, z = 32;  // the empty middle
    for (const auto& cell : std::initializer_list<std::array<int, 3>>{
             {x - 1, y, z}, {x + 1, y, z}, {x, y - 1, z}, {x, y + 1, z}, {x, y, z + 1}, {x, y - 1, z - 1}, {x, y + 1, z - 1}})
        placeWithB(cell[0], cell[1], cell[2]);
    const InteriorStates built = interiorStates();

    stepGeneration();
    EXPECT_NE(interiorStates(), built);
    EXPECT_EQ(liveCount(), 7);
    EXPECT_EQ(grid[x - 1][y][z - 1].state, Live);
    EXPECT_EQ(grid[x + 1][y][z - 1].state, Live);
    EXPECT_EQ(grid[x][y - 1][z - 1].state, Empty);
    EXPECT_EQ(grid[x][y + 1][z - 1].state, Empty);
    const InteriorStates flipped = interiorStates();
    for (int generation = 2; generation <= 10; ++generation) {
        stepGeneration();
        EXPECT_EQ(interiorStates(), generation % 2 == 0 ? built : flipped) << "generation " << generation;
    }
}

TEST_F(ReadyRuleFile, Life5766KeepsABlockOfEightAndLetsAlmostAllElseDie) {
    ASSERT_NO_FATAL_FAILURE(load("life-5766.ini"));
    for (int cell = 0; cell < 8; ++cell) placeWithB(32 + (cell >> 2), 32 + (cell >> 1 & 1), 32 + (cell & 1));
    const InteriorStates block = interiorStates();
    stepGeneration();
    EXPECT_EQ(interiorStates(), block);
    stepGenerations(1000);
    EXPECT_EQ(interiorStates(), block);

    const ClusterTally tally = followSmallClusters(100);
    SCOPED_TRACE(describe(tally));
    EXPECT_GE(tally.diedOut, 90);
    EXPECT_GE(tally.stoodStill, 1);
    EXPECT_EQ(tally.repeated + tally.stillChanging, 0);
    EXPECT_LE(tally.slowest, 10);

    for (const int turnEvery : {0, 3}) {
        resetWorld();
        drawTrail(60, turnEvery, 6, 0);
        ASSERT_GE(liveCount(), 10);
        const Fate fate = followUntilSettled(2);
        EXPECT_EQ(fate.kind, Fate::DiesOut) << "trail turning every " << turnEvery << " passes: " << liveCount() << " cells left";
    }

    resetWorld();
    pressInvert();
    ASSERT_EQ(liveCount(), interiorCellCount);
    stepGeneration();
    EXPECT_EQ(liveCount(), 8) << "only the eight corners have five to seven live neighbours";
    stepGeneration();
    EXPECT_EQ(liveCount(), 0);
}

TEST_F(ReadyRuleFile, CloudsWearsTheFilledCubeAlongItsEdgesThenStandsStill) {
    ASSERT_NO_FATAL_FAILURE(load("clouds.ini"));
    drawTrail(60, 3, 6, 0);
    ASSERT_GE(liveCount(), 10);
    stepGeneration();
    EXPECT_EQ(liveCount(), 0) << "cells placed with b need 13 live neighbours";

    pressInvert();
    ASSERT_EQ(liveCount(), interiorCellCount);
    const Fate fate = followUntilSettled(200);
    ASSERT_EQ(fate.kind, Fate::StandsStill);
    EXPECT_GE(fate.generation, 50);
    EXPECT_LE(fate.generation, 70);
    EXPECT_GE(fate.live, interiorCellCount * 98 / 100);
    const InteriorStates settled = interiorStates();
    // A world equal to its successor stays so; a run of generations checks the batched step as well.
    stepGenerations(1000);
    EXPECT_EQ(interiorStates(), settled);

    // Every emptied cell lies in the two layers next to one wall and within four cells of another.
    auto depth = [](int i) { return std::min(i - interiorFirst, interiorLast - i); };
    int outsideTheEdges = 0;
    for (int x = interiorFirst; x <= interiorLast; ++x)
        for (int y = interiorFirst; y <= interiorLast; ++y)
            for (int z = interiorFirst; z <= interiorLast; ++z) {
                if (grid[x][y][z].state == Live) continue;
                std::array<int, 3> depths{depth(x), depth(y), depth(z)};
                std::sort(depths.begin(), depths.end());
                outsideTheEdges += depths[0] > 1 || depths[1] > 3;
            }
    EXPECT_EQ(outsideTheEdges, 0);
}

TEST_F(ReadyRuleFile, CrystalGrowsFromOneCellForAboutFortyGenerationsThenStandsStill) {
    struct Start {
        const char* where;
        int climbPasses;  // passes with keypad 1 held before b
    };
    for (const Start start : {Start{"the start view", 0}, Start{"twenty passes higher", 20}}) {
        SCOPED_TRACE(start.where);
        resetProgramState();
        ASSERT_NO_FATAL_FAILURE(load("crystal-1.ini"));
        for (int pass = 0; pass < start.climbPasses; ++pass) {
            InputSnapshot climb;
            climb.keys[SDLK_KP1] = 1;
            applyControls(climb);
        }
        InputSnapshot place;
        place.keys[SDLK_b] = 1;
        applyControls(place);
        ASSERT_EQ(liveCount(), 1);

        int live = 1;
        int generation = 0;
        for (;;) {
            const InteriorStates before = interiorStates();
            stepGeneration();
            ++generation;
            if (interiorStates() == before) break;
            const int grown = liveCount();
            ASSERT_GT(grown, live) << "the crystal shrank at generation " << generation;
            live = grown;
            ASSERT_LE(generation, 60) << "still growing";
        }
        EXPECT_GE(generation - 1, 35) << "generations of growth";
        EXPECT_LE(generation - 1, 45) << "generations of growth";
        const InteriorStates crystal = interiorStates();
        stepGenerations(1000);
        EXPECT_EQ(interiorStates(), crystal);
    }
}

}  // namespace
