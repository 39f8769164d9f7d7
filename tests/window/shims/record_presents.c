/* Preloaded into the viewer to watch its presentations from outside: every call of SDL_UpdateRect is
 * written at once to the file named by CELLVANE_PRESENT_LOG, one line per call:
 * "seconds x y width height black", with the time from CLOCK_MONOTONIC and black 1 when every pixel
 * of the rectangle is black in the surface (0 when not, -1 when the pixel size is not 4 bytes). Each
 * pass presents once, so the lines count passes; a black whole-window line is a cleared window.
 * Every call of SDL_WM_SetCaption is written likewise to the file named by CELLVANE_CAPTION_LOG, one
 * title per line: the window's own WM_NAME can change faster than another client can read it.
 * With CELLVANE_PASS_DELAY_MS set, every presentation takes that many milliseconds longer, as a pass
 * does on a slow or busy machine. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <SDL/SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

typedef void (*SetCaption)(const char*, const char*);
typedef void (*UpdateRect)(SDL_Surface*, Sint32, Sint32, Uint32, Uint32);

static int isBlack(SDL_Surface* screen, Sint32 x, Sint32 y, Uint32 width, Uint32 height) {
    if (screen->format->BytesPerPixel != 4) return -1;
    const Uint32 black = SDL_MapRGB(screen->format, 0, 0, 0);
    for (Uint32 j = 0; j < height; ++j) {
        const Uint32* row = (const Uint32*)((const Uint8*)screen->pixels + (y + (Sint32)j) * screen->pitch) + x;
        for (Uint32 i = 0; i < width; ++i)
            if (row[i] != black) return 0;
    }
    return 1;
}

void SDL_UpdateRect(SDL_Surface* screen, Sint32 x, Sint32 y, Uint32 width, Uint32 height) {
    static UpdateRect real;
    static FILE* log;
    static int opened;
    if (real == NULL) real = (UpdateRect)dlsym(RTLD_NEXT, "SDL_UpdateRect");
    if (!opened) {
        const char* path = getenv("CELLVANE_PRESENT_LOG");
        log = path != NULL ? fopen(path, "w") : NULL;
        opened = 1;
    }
    if (log != NULL) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        fprintf(log, "%.6f %d %d %u %u %d\n", (double)now.tv_sec + (double)now.tv_nsec / 1e9, (int)x, (int)y,
                (unsigned)width, (unsigned)height, isBlack(screen, x, y, width, height));
        fflush(log);
    }
    real(screen, x, y, width, height);
    static long delayMs = -1;
    if (delayMs < 0) {
        const char* text = getenv("CELLVANE_PASS_DELAY_MS");
        delayMs = text != NULL ? atol(text) : 0;
    }
    if (delayMs > 0) {
        const struct timespec delay = {delayMs / 1000, (delayMs % 1000) * 1000000L};
        nanosleep(&delay, NULL);
    }
}

void SDL_WM_SetCaption(const char* title, const char* icon) {
    static SetCaption real;
    static FILE* log;
    static int opened;
    if (real == NULL) real = (SetCaption)dlsym(RTLD_NEXT, "SDL_WM_SetCaption");
    if (!opened) {
        const char* path = getenv("CELLVANE_CAPTION_LOG");
        log = path != NULL ? fopen(path, "w") : NULL;
        opened = 1;
    }
    if (log != NULL) {
        fprintf(log, "%s\n", title != NULL ? title : "");
        fflush(log);
    }
    real(title, icon);
}
