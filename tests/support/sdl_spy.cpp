#include "tests/support/sdl_spy.h"

#include <cstdint>

#include <SDL/SDL.h>

SdlSpy sdlSpy;

namespace {

template <typename Function>
Function realSdl(const char* name) {
    return reinterpret_cast<Function>(realSdlFunction(name));
}

}  // namespace

extern "C" {

void SDL_WM_SetCaption(const char* title, const char* icon) {
    sdlSpy.captions.emplace_back(title != nullptr ? title : "");
    static auto real = realSdl<void (*)(const char*, const char*)>("SDL_WM_SetCaption");
    real(title, icon);
}

void SDL_UpdateRect(SDL_Surface* surface, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    sdlSpy.updates.push_back({x, y, static_cast<int>(w), static_cast<int>(h)});
    if (sdlSpy.updates.size() == sdlSpy.crashingUpdate) {
        static volatile std::uintptr_t nowhere = 16;  // in the page no program maps; not null, which UBSan checks
        *reinterpret_cast<volatile int*>(nowhere) = 1;
    }
    static auto real = realSdl<void (*)(SDL_Surface*, Sint32, Sint32, Uint32, Uint32)>("SDL_UpdateRect");
    real(surface, x, y, w, h);
}

SDL_GrabMode SDL_WM_GrabInput(SDL_GrabMode mode) {
    sdlSpy.grabModes.push_back(mode);
    static auto real = realSdl<SDL_GrabMode (*)(SDL_GrabMode)>("SDL_WM_GrabInput");
    return real(mode);
}

int SDL_ShowCursor(int toggle) {
    sdlSpy.cursorToggles.push_back(toggle);
    static auto real = realSdl<int (*)(int)>("SDL_ShowCursor");
    return real(toggle);
}

}  // extern "C"
