// Puts the program's process-wide state back to how it is at start-up, for tests that run parts of
// the program one after another in one process.
#pragma once

#include <array>
#include <cstdint>

// Camera, speed, latches, render size, hitFace and input release as at start-up; default rules;
// the start world freshly built.
void resetProgramState();

// Opens the window surface once per process with SDL's headless "dummy" video driver: the same
// 640 x 480, 32-bit surface the program gets from a real display.
void openTestScreen();

using Rgb = std::array<std::uint8_t, 3>;
// The colour stored at (x, y) of the window surface.
Rgb pixelAt(int x, int y);
// Paints every pixel of the window surface in one colour (putPixel, so in the surface's format).
void fillScreen(const Rgb& colour);
