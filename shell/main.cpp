// Cellvane: an interactive viewer for a three-dimensional cellular automaton.
#include "shell/screen.h"
#include "shell/vector_targets.h"
#include "world/automaton.h"
#include "world/grid.h"

#include <SDL/SDL.h>

int main(int, char*[]) {
    guardStandardStreams();
    restrictVectorTargetFromEnvironment();
    loadRules();  // before SDL, so its message is printed before the window exists
    initVideo(screenWidth, screenHeight, 32);
    grabInput(true);
    setCaption(windowTitle);
    showPointer(false);
    buildStartWorld();
    mainLoop();
    return 0;
}
