#include "camera/controls.h"

#include "camera/camera.h"
#include "shell/screen.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <numbers>

double moveSpeed = 0.2;
bool mouseLookStarted = false;
bool invertKeyLatch = false;

namespace {

constexpr double pi = std::numbers::pi;
constexpr double rollDegrees = 5;
constexpr double speedStep = 0.05;
constexpr double speedLimit = 1.0;
constexpr double speedDivisor = 1.3;

// The cell one direction-length ahead of the camera, or null when that point is outside the grid.
Cell* cellAhead() {
    const Vec3 target{camera.position.x + camera.direction.x, camera.position.y + camera.direction.y,
                      camera.position.z + camera.direction.z};
    const int x = cellIndexOf(target.x), y = cellIndexOf(target.y), z = cellIndexOf(target.z);
    if (x < 0 || y < 0 || z < 0) return nullptr;
    return &grid[x][y][z];
}

// One degree of turn per count of mouse motion: pitch about the camera's right vector as it was at
// the start of the pass, then yaw about the world z axis. Runs in every pass after the first, also
// when the mouse is still, since a turn by 0 is not a bit-exact identity.
void lookWithMouse(const InputSnapshot& input) {
    if (!mouseLookStarted) {
        mouseLookStarted = true;  // motion gathered before the first pass is thrown away
        return;
    }
    const Vec3 pitchAxis = camera.right;
    const double pitch = (-pi * static_cast<double>(input.dy)) / 180;
    camera.direction = rotateAroundAxis(camera.direction, pitchAxis, pitch);
    camera.up = rotateAroundAxis(camera.up, pitchAxis, pitch);
    camera.right = rotateAroundAxis(camera.right, pitchAxis, pitch);
    const double yaw = (-pi * static_cast<double>(input.dx)) / 180;
    camera.direction = rotateZ(camera.direction, yaw);
    camera.up = rotateZ(camera.up, yaw);
    camera.right = rotateZ(camera.right, yaw);
}

// Moves straight up or down by a single test of the destination.
void moveVertically(double dz) {
    const Vec3 step{0, 0, dz};
    const Vec3& p = camera.position;
    if (isPassable(p.x + step.x, p.y + step.y, p.z + step.z))
        camera.position = {p.x + step.x, p.y + step.y, p.z + step.z};
}

// Rolls about the view direction; positive degrees turn up towards right.
void roll(double degrees) {
    const double angle = (pi * degrees) / 180;
    camera.direction = rotateAroundAxis(camera.direction, camera.direction, angle);
    camera.up = rotateAroundAxis(camera.up, camera.direction, angle);
    camera.right = rotateAroundAxis(camera.right, camera.direction, angle);
}

void resizePicture(double width, double height) {
    clearScreen();
    renderWidth = width;
    renderHeight = height;
}

void releaseInput() {
    showPointer(true);
    grabInput(false);
    inputReleased = true;
}

}  // namespace

bool isPassable(double px, double py, double pz) {
    const int i = cellIndexOf(px), j = cellIndexOf(py), k = cellIndexOf(pz);
    if (i < 0 || j < 0 || k < 0) return false;
    return grid[i][j][k].state <= Live;
}

void moveWithCollision(Vec3 step) {
    Vec3& p = camera.position;
    if (isPassable(p.x + step.x, p.y, p.z)) p.x += step.x;
    if (isPassable(p.x, p.y + step.y, p.z)) p.y += step.y;
    if (isPassable(p.x, p.y, p.z + step.z)) p.z += step.z;
}

void placeCell() {
    Cell* cell = cellAhead();
    if (cell != nullptr && cell->state == Empty) cell->state = Live;
}

void removeCell() {
    Cell* cell = cellAhead();
    if (cell != nullptr && cell->state == Live) cell->state = Empty;
}

void runLongBatch() {
    constexpr int block = 1000;
    setCaption(batchStartedCaption);
    stepGenerations(block);
    for (const char* progress : batchProgressCaptions) {
        setCaption(progress);
        stepGenerations(block);
    }
    setCaption(batchFinishedCaption);
}

void handleControls() {
    applyControls(takeInputSnapshot());
}

void applyControls(const InputSnapshot& input) {
    lookWithMouse(input);

    // The key rows, in this order; every row whose key is held acts in the same pass.
    if (input.held(SDLK_UP)) moveWithCollision(scale(camera.direction, moveSpeed));
    if (input.held(SDLK_DOWN)) moveWithCollision(scale(negate(camera.direction), moveSpeed));
    if (input.held(SDLK_RIGHT)) moveWithCollision(scale(normalize(camera.right), moveSpeed));
    if (input.held(SDLK_LEFT)) moveWithCollision(scale(negate(normalize(camera.right)), moveSpeed));
    if (input.held(SDLK_KP1)) moveVertically(moveSpeed);
    if (input.held(SDLK_KP0)) moveVertically(-1.0 * moveSpeed);
    if (input.held(SDLK_ESCAPE)) releaseInput();
    if (input.held(SDLK_KP5)) {
        camera.direction = camera.initialDirection;
        camera.right = camera.initialRight;
        camera.up = camera.initialUp;
    }
    if (input.held(SDLK_KP6)) roll(rollDegrees);
    if (input.held(SDLK_KP4)) roll(-rollDegrees);
    if (input.held(SDLK_r)) setCaption(aboutCaption);
    if (input.held(SDLK_KP7)) resizePicture(200.0, 150.0);
    if (input.held(SDLK_KP8)) resizePicture(320.0, 240.0);
    if (input.held(SDLK_KP9)) resizePicture(640.0, 480.0);
    if (input.held(SDLK_b)) placeCell();
    if (input.held(SDLK_n)) removeCell();
    if (input.held(SDLK_KP_PLUS) && moveSpeed < speedLimit) moveSpeed = moveSpeed + speedStep;
    if (input.held(SDLK_KP_MINUS)) moveSpeed = moveSpeed / speedDivisor;
    if (input.held(SDLK_c)) resetWorld();
    if (input.held(SDLK_i) && !invertKeyLatch) {
        invertInterior();
        invertKeyLatch = true;
    }
    if (!input.held(SDLK_i)) invertKeyLatch = false;
    if (input.held(SDLK_SPACE)) stepGeneration();
    if (input.held(SDLK_s)) stepGenerations(50);
    if (input.held(SDLK_d) && input.held(SDLK_f)) runLongBatch();
}
