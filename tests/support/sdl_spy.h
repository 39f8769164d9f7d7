// Records the calls the program makes to SDL's window functions. The test executables define these
// SDL functions themselves; each records its arguments and then calls SDL's own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct UpdateCall {
    int x, y, w, h;
    bool operator==(const UpdateCall&) const = default;
};

struct SdlSpy {
    std::vector<std::string> captions;  // every SDL_WM_SetCaption title, in order
    std::vector<UpdateCall> updates;    // every SDL_UpdateRect rectangle, in order
    std::vector<int> grabModes;         // every SDL_WM_GrabInput argument
    std::vector<int> cursorToggles;     // every SDL_ShowCursor argument
    // The SDL_UpdateRect call, counted from 1, that crashes inside SDL as its libraries may; 0 for none.
    std::size_t crashingUpdate = 0;
};

extern SdlSpy sdlSpy;

// SDL's own function of that name, which the definitions here hide: one source per platform
// (sdl_spy_linux.cpp, sdl_spy_windows.cpp).
void* realSdlFunction(const char* name);

inline void resetSdlSpy() {
    sdlSpy = SdlSpy{};
}
