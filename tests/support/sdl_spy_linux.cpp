#include "tests/support/sdl_spy.h"

#include <dlfcn.h>

void* realSdlFunction(const char* name) {
    return dlsym(RTLD_NEXT, name);
}
