#include "shell/platform.h"
#include "shell/screen.h"

#include <SDL/SDL.h>

void setCaption(const char* caption) {
    SDL_WM_SetCaption(caption, nullptr);
    platform::showCaptionNow();
}

void showPointer(bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void grabInput(bool grabbed) {
    SDL_WM_GrabInput(grabbed ? SDL_GRAB_ON : SDL_GRAB_OFF);
}
