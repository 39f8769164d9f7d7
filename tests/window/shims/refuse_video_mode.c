/* Preloaded into the viewer to make opening the video mode fail, as it does when the display cannot
 * give the requested mode. */
#include <stddef.h>

struct SDL_Surface;
extern int SDL_SetError(const char* fmt, ...);

struct SDL_Surface* SDL_SetVideoMode(int width, int height, int bitsPerPixel, unsigned int flags) {
    (void)width;
    (void)height;
    (void)bitsPerPixel;
    (void)flags;
    SDL_SetError("the video mode was refused on purpose");
    return NULL;
}
