// The control handler: mouse look, flying with collision, and the command keys, once per pass.
#pragma once

#include "camera/vec3.h"

#include <SDL/SDL_keysym.h>  // the key symbols only; SDL itself is read in camera/input_snapshot.cpp

#include <array>
#include <cstdint>

// What the user holds and moves in one pass: the keyboard state indexed by SDL key symbol
// (non-zero: held) and the relative mouse motion since the previous read.
struct InputSnapshot {
    std::array<std::uint8_t, SDLK_LAST> keys{};
    int dx = 0;
    int dy = 0;

    bool held(SDLKey key) const { return keys[key] != 0; }
};

// Distance in cell units of one movement step per pass; keypad plus and minus change it.
extern double moveSpeed;
// Becomes true in the first pass, whose mouse motion (gathered since start-up) is discarded.
extern bool mouseLookStarted;
// Set when key i inverts the world, cleared in the first pass that finds i up: one inversion a press.
extern bool invertKeyLatch;

constexpr const char* aboutCaption = "About: Quorbel 3D Engine by Pellworth - Cellvane Version";
constexpr const char* batchStartedCaption = "Calculating rules started. Hang on 30 minutes.";
constexpr const char* batchProgressCaptions[9] = {
    "Calculating rules. 10% done", "Calculating rules. 20% done", "Calculating rules. 30% done",
    "Calculating rules. 40% done", "Calculating rules. 50% done", "Calculating rules. 60% done",
    "Calculating rules. 70% done", "Calculating rules. 80% done", "Calculating rules. 90% done",
};
constexpr const char* batchFinishedCaption = "FINISHED CALCULATING RULES 10000 TIMES!";

// Reads the keyboard and the mouse from SDL: the one place where input enters the program.
InputSnapshot takeInputSnapshot();
// One pass of the controls: applyControls on a fresh snapshot.
void handleControls();
// Turns the camera by the mouse, then works through the key rows in their fixed order.
void applyControls(const InputSnapshot& input);

// Moves the camera's position by step one axis at a time (x, y, z), each axis only if the point it
// leads to is passable: a move against a wall slides along it.
void moveWithCollision(Vec3 step);
// True when the cell holding the point is Empty or Live. Points outside the grid are not passable.
bool isPassable(double px, double py, double pz);
// Make the Empty cell one direction-length ahead of the camera Live, or the Live one Empty.
void placeCell();
void removeCell();
// 10,000 generations in blocks of 1,000, with progress in the window caption.
void runLongBatch();
