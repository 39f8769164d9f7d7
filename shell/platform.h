// What the program needs from the operating system, behind one header. shell/platform_linux.cpp
// (POSIX and Xlib) and shell/platform_windows.cpp (Win32) implement it, and the build compiles the
// one for the system it targets. guardStandardStreams and endWithTheDisplay (shell/screen.h) live
// there too: on Windows there is no display connection to lose and no SIGPIPE, so both do nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// While on, a crash of the process (a fatal signal on Linux, an unhandled exception on Windows) writes
// one line to standard output, the step set last by setStartUpStep followed by "SDL's libraries
// crashed (WHAT)" and, where the system knows one, a likely cause; then the program ends with status
// 1. Off restores what was there before; turning it on or off again is nothing. Meant for the start
// of SDL, whose libraries may crash.
void reportCrashesWhileStarting(bool on);
// The text that starts such a line ("Unable to init SDL: ", say); it must outlive the reporting.
void setStartUpStep(const char* step);

// Makes the caption just set reach the screen at once, also while the program is busy with a batch and
// handles no events: SDL's X11 driver sends it itself (nothing to do on Linux); on Windows the window
// system takes it when the thread looks at its message queue, which this does without taking a
// message, so that no event is handled or lost.
void showCaptionNow();

// A file open for reading; none is -1.
using File = std::intptr_t;

// Opens path (UTF-8) for reading if it is a regular file. Anything else (a directory, a FIFO or pipe, a
// device) is not opened, and opening never waits for a writer. When it returns -1, warnings holds one
// line saying why ("PATH: cannot be opened: REASON" or "PATH: is KIND; only a regular file is read"),
// unless there is no such file.
File openRegularFile(const char* path, std::FILE* warnings);
// Reads up to size bytes at the read position: the number read, 0 at the end of the file, or -1 with
// the system's error code in error.
long long readFile(File file, unsigned char* buffer, std::size_t size, int& error);
// Moves the read position from offset past a hole of a sparse file: to the first data at or after
// offset, or to the end of the file when only a hole is left, and returns that offset. Returns -1,
// leaving the read position at offset, when the system cannot tell where data is.
long long skipToData(File file, long long offset);
void closeFile(File file);
// The text of an error code from readFile.
const char* errorText(int error);

}  // namespace platform
