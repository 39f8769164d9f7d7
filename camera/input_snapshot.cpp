#include "camera/controls.h"

#include <SDL/SDL.h>

#include <algorithm>

InputSnapshot takeInputSnapshot() {
    InputSnapshot input;
    int count = 0;
    const Uint8* keys = SDL_GetKeyState(&count);
    std::copy_n(keys, std::min<int>(count, SDLK_LAST), input.keys.begin());
    SDL_GetRelativeMouseState(&input.dx, &input.dy);
    return input;
}
