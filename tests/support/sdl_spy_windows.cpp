#include "tests/support/sdl_spy.h"

#include <windows.h>

// SDL's headers declare its functions exported, not imported, so calls bind to the test's own
// definitions; SDL's are looked up in SDL.dll.
void* realSdlFunction(const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("SDL.dll"), name));
}
