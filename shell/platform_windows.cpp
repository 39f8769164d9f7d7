// The platform layer on Windows: Win32 calls. A Windows program has no display connection to lose and
// no SIGPIPE; a GUI program has no standard streams either, so they go to files.
#include "shell/platform.h"
#include "shell/screen.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Removes stdout.txt and stderr.txt at exit when nothing was written to them, as SDL's own entry does.
// Registered first, so it runs last; a file open in the program cannot be removed, so they are closed.
void removeEmptyOutputFiles() {
    std::fclose(stdout);
    std::fclose(stderr);
    for (const char* name : {"stdout.txt", "stderr.txt"}) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExA(name, GetFileExInfoStandard, &data) && data.nFileSizeLow == 0 && data.nFileSizeHigh == 0)
            ::DeleteFileA(name);
    }
}

}  // namespace

// Standard output and standard error go to stdout.txt and stderr.txt in the working directory, where
// rules.ini is read too. (SDL's entry would put them beside the program, which an installed program
// cannot write to; SDL is built without that.) Output is line-buffered, errors unbuffered.
void guardStandardStreams() {
    if (std::freopen("stdout.txt", "w", stdout) != nullptr) std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    if (std::freopen("stderr.txt", "w", stderr) != nullptr) std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::atexit(removeEmptyOutputFiles);
}

void endWithTheDisplay(DisplayPhase) {}

void platform::showCaptionNow() {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

// ---------------------------------------------------------------------------------------------
// Crashes while starting

namespace {

const char* volatile startUpStep = "Unable to init SDL: ";
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

const char* exceptionName(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "access violation";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "illegal instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "division by zero";
    case EXCEPTION_STACK_OVERFLOW: return "stack overflow";
    case EXCEPTION_IN_PAGE_ERROR: return "page error";
    default: return "exception";
    }
}

// Runs for an exception nothing handled: writes the start-up failure and ends the process with 1.
LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    std::fprintf(stdout, "%sSDL's libraries crashed (%s, code 0x%08lX)\n", startUpStep, exceptionName(code),
                 static_cast<unsigned long>(code));
    std::fflush(stdout);
    ::TerminateProcess(::GetCurrentProcess(), 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void platform::setStartUpStep(const char* step) {
    startUpStep = step;
}

void platform::reportCrashesWhileStarting(bool on) {
    static bool reporting = false;
    if (on == reporting) return;
    reporting = on;
    if (on)
        previousFilter = ::SetUnhandledExceptionFilter(reportCrash);
    else
        ::SetUnhandledExceptionFilter(previousFilter);
}

// ---------------------------------------------------------------------------------------------
// Reading files

namespace {

// The system's message for an error code, in English where it has one, on one line.
const char* messageOf(DWORD error) {
    static char text[200];
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
    if (length == 0) std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
    for (char* end = text + std::strlen(text); end > text && (end[-1] == '\n' || end[-1] == '\r' || end[-1] == '.');)
        *--end = '\0';
    return text;
}

// path from UTF-8 to the UTF-16 the system's calls take; empty when it is no valid UTF-8.
std::wstring widened(const char* path) {
    const int count = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (count <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), count);
    wide.pop_back();  // the terminating NUL, which the string keeps itself
    return wide;
}

const char* kindOfFile(HANDLE file) {
    switch (::GetFileType(file)) {
    case FILE_TYPE_PIPE: return "a FIFO (named pipe)";
    case FILE_TYPE_CHAR: return "a character device";
    default: break;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(file, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return "a directory";
    return "not a regular file";
}

}  // namespace

platform::File platform::openRegularFile(const char* path, std::FILE* warnings) {
    const std::wstring wide = widened(path);
    if (wide.empty()) {
        std::fprintf(warnings, "%s: cannot be opened: %s\n", path, messageOf(ERROR_INVALID_NAME));
        return -1;
    }
    // Backup semantics let a directory be opened, so that it is named for what it is; opening a pipe
    // or a device never waits.
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            std::fprintf(warnings, "%s: cannot be opened: %s\n", path, messageOf(error));
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        std::fprintf(warnings, "%s: is %s; only a regular file is read\n", path, kindOfFile(file));
        ::CloseHandle(file);
        return -1;
    }
    return reinterpret_cast<File>(file);
}

long long platform::readFile(File file, unsigned char* buffer, std::size_t size, int& error) {
    DWORD got = 0;
    const DWORD wanted = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
    if (!::ReadFile(reinterpret_cast<HANDLE>(file), buffer, wanted, &got, nullptr)) {
        error = static_cast<int>(::GetLastError());
        return -1;
    }
    return got;
}

long long platform::skipToData(File, long long) {
    return -1;  // every byte is read, holes as the NUL bytes they hold
}

void platform::closeFile(File file) {
    ::CloseHandle(reinterpret_cast<HANDLE>(file));
}

const char* platform::errorText(int error) {
    return messageOf(static_cast<DWORD>(error));
}
