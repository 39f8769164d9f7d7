/* Preloaded into the viewer to count its passes from outside: every call of SDL_UpdateRect is
 * recorded with its time and size, and the record is written at exit to the file named by
 * CELLVANE_PRESENT_LOG, one line "seconds width height" per call. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

struct SDL_Surface;
typedef void (*UpdateRect)(struct SDL_Surface*, int, int, unsigned, unsigned);

enum { capacity = 1 << 18 };
static struct {
    double at;
    unsigned width, height;
} presents[capacity];
static size_t presentCount;

void SDL_UpdateRect(struct SDL_Surface* screen, int x, int y, unsigned width, unsigned height) {
    static UpdateRect real;
    if (real == NULL) real = (UpdateRect)dlsym(RTLD_NEXT, "SDL_UpdateRect");
    if (presentCount < capacity) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        presents[presentCount].at = (double)now.tv_sec + (double)now.tv_nsec / 1e9;
        presents[presentCount].width = width;
        presents[presentCount].height = height;
        ++presentCount;
    }
    real(screen, x, y, width, height);
}

__attribute__((destructor)) static void writePresentLog(void) {
    const char* path = getenv("CELLVANE_PRESENT_LOG");
    if (path == NULL) return;
    FILE* f = fopen(path, "w");
    if (f == NULL) return;
    for (size_t i = 0; i < presentCount; ++i)
        fprintf(f, "%.6f %u %u\n", presents[i].at, presents[i].width, presents[i].height);
    fclose(f);
}
