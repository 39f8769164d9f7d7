// The few POSIX environment calls the tests make, for Windows, whose C library names them otherwise.
// Built into every test source of a Windows build (tests/CMakeLists.txt).
#pragma once

#include <cstdlib>

inline int setenv(const char* name, const char* value, int) {
    return _putenv_s(name, value);
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "");
}

// The watchdog of a test that could hang: scripts/build-windows runs each Windows test program under
// a time limit instead.
inline unsigned alarm(unsigned) {
    return 0;
}
