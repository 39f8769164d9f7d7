// The application shell: the window, its surface, pixel output, and the main loop. SDL is called from
// shell/ and from the input snapshot only; everything else reaches the window through these functions.
#pragma once

#include <cstdint>

struct SDL_Surface;

constexpr int screenWidth = 640;
constexpr int screenHeight = 480;

constexpr const char* windowTitle =
    "Cellvane 3D - with Quorbel 3D engine (press kp7,8,9 for better resolution)";

// Size in pixels of the picture drawn centred in the window: 100 x 75 at start, then 200 x 150,
// 320 x 240 or 640 x 480 as the resolution keys choose.
extern double renderWidth;
extern double renderHeight;
// Set by Escape: from then on nothing is rendered and no key acts; never cleared.
extern bool inputReleased;
// The window surface, set by initVideo and owned by SDL.
extern SDL_Surface* screen;

// Opens each of standard input, output and error that is closed at start on /dev/null, so that no
// connection or file opened later takes its number and receives messages meant for it; ignores
// SIGPIPE, so that a message nobody reads is lost instead of ending the program. Called first.
// On Windows, puts standard output and error on stdout.txt and stderr.txt in the working directory
// (each removed at exit if left empty). One source per platform: shell/platform_*.cpp.
void guardStandardStreams();
// Initialises SDL and opens the window; prints the reason and exits with status 1 on failure.
void initVideo(int width, int height, int bitsPerPixel);
// Losing the X display (the server ends, or the program's connection is killed) ends the program at
// once with status 1 and one line naming the display: while the window is being opened, the start-up
// failure "Unable to set video: ..." on standard output; once it is open, a line on standard error.
// A failing X request while the window opens is left to SDL, which checks its calls and goes without
// what failed (OpenGL, for one); once it is open, a failing request means that another program
// destroyed the window, and ends the program the same way. initVideo calls this before SDL starts
// and again once the window is open, as SDL installs handlers of its own in between.
// On Windows, which has no display connection, it does nothing.
enum class DisplayPhase { OpeningWindow, WindowOpen };
void endWithTheDisplay(DisplayPhase now);
// Runs passes (events, picture, presentation, controls) until the window is closed.
void mainLoop();
// The shortest pass in seconds: the loop waits out the rest of a quicker pass, so that movement,
// turning and held keys act at a steady 60 passes a second.
constexpr double minimumPassSeconds = 1.0 / 60.0;

// Stores colour (r, g, b) at column x, row y of screen, in the surface's pixel format, without
// presenting it. The caller keeps x and y inside the window.
void putPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b);
// Stores a block of w x h colours with left edge x and top edge y, exactly what putPixel would store
// for each of them, without presenting it. rgb holds the colours row by row, each packed as 0xRRGGBB.
// The block must lie inside the window. Once per call the channel shifts and losses of screen's
// format are checked against SDL_MapRGB; a format they do not reproduce (a palette, for one) is
// written pixel by pixel through putPixel.
void putPixelBlock(int x, int y, int w, int h, const std::uint32_t* rgb);
// Presents the rectangle of screen with left edge x, top edge y, width w and height h.
void updateRect(int x, int y, int w, int h);
// Blackens the whole window and presents it.
void clearScreen();
// Lock and unlock screen around direct pixel writes, when SDL requires it.
void lockScreen();
void unlockScreen();

// The rectangle that holds the picture of the current render size, centred in the window.
struct RenderRect {
    int x, y, w, h;
};
RenderRect renderRect();

// Window management.
void setCaption(const char* caption);
void showPointer(bool shown);
void grabInput(bool grabbed);
