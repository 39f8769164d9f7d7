// The platform layer on Linux: POSIX calls and Xlib.
#include "shell/platform.h"
#include "shell/screen.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

// ---------------------------------------------------------------------------------------------
// Standard streams

void guardStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lower numbers are open by now, so open gives this one.
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
}

// ---------------------------------------------------------------------------------------------
// Losing the X display

namespace {

// The handlers end the program with _exit: Xlib's own handlers call exit, and the SDL shutdown that
// exit runs then waits for ever on the dead connection. Only a failed request while the window opens
// is passed back to SDL, which checks its calls and then draws without what failed (OpenGL, say).

DisplayPhase phase = DisplayPhase::OpeningWindow;

[[noreturn]] void end() {
    std::fflush(stdout);
    ::_exit(1);
}

int connectionLost(Display* display) {
    if (phase == DisplayPhase::OpeningWindow)
        std::printf("Unable to set video: lost the connection to X display %s\n", DisplayString(display));
    else
        std::fprintf(stderr, "cellvane: lost the connection to X display %s; ending\n", DisplayString(display));
    end();
}

int requestFailed(Display* display, XErrorEvent* error) {
    char text[120] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    if (phase == DisplayPhase::OpeningWindow) return 0;  // SDL sees the failed call and takes another way
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        std::fprintf(stderr, "cellvane: the window on X display %s was destroyed by another program (%s); ending\n",
                     DisplayString(display), text);
    else
        std::fprintf(stderr, "cellvane: X display %s refused a request of the program (%s); ending\n",
                     DisplayString(display), text);
    end();
}

}  // namespace

void endWithTheDisplay(DisplayPhase now) {
    phase = now;
    XSetIOErrorHandler(connectionLost);
    XSetErrorHandler(requestFailed);
}

void platform::showCaptionNow() {}

// ---------------------------------------------------------------------------------------------
// Crashes while starting

namespace {

// SDL's libraries can crash while they start, for one when an address-space limit (ulimit -v) lets a
// driver's allocation fail unchecked. The handler only writes prepared text.
constexpr int crashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
struct sigaction previousHandlers[std::size(crashSignals)];
const char* volatile startUpStep = "Unable to init SDL: ";
char crashDetail[160];

void writeAll(const char* text) {
    for (std::size_t left = std::strlen(text); left > 0;) {
        const ssize_t written = ::write(STDOUT_FILENO, text, left);
        if (written <= 0) return;
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

void reportCrash(int signalNumber) {
    writeAll(startUpStep);
    writeAll("SDL's libraries crashed (");
    writeAll(signalNumber == SIGABRT ? "abort" : signalNumber == SIGSEGV ? "segmentation fault" : "fatal signal");
    writeAll(")");
    writeAll(crashDetail);
    writeAll("\n");
    ::_exit(1);
}

}  // namespace

void platform::setStartUpStep(const char* step) {
    startUpStep = step;
}

void platform::reportCrashesWhileStarting(bool on) {
    static bool reporting = false;
    if (on == reporting) return;
    reporting = on;
    if (on) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            std::snprintf(crashDetail, sizeof crashDetail, "; the address-space limit (ulimit -v) of %llu MiB may be too small",
                          static_cast<unsigned long long>(limit.rlim_cur >> 20));
    }
    for (std::size_t i = 0; i < std::size(crashSignals); ++i) {
        if (on) {
            struct sigaction handler {};
            handler.sa_handler = reportCrash;
            ::sigaction(crashSignals[i], &handler, &previousHandlers[i]);
        } else {
            ::sigaction(crashSignals[i], &previousHandlers[i], nullptr);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Reading files

namespace {

const char* kindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

platform::File platform::openRegularFile(const char* path, std::FILE* warnings) {
    // O_NONBLOCK: opening does not wait for a writer, as it would on a FIFO.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) std::fprintf(warnings, "%s: cannot be opened: %s\n", path, std::strerror(errno));
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        std::fprintf(warnings, "%s: is %s; only a regular file is read\n", path, kindOfFile(status.st_mode));
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

long long platform::readFile(File file, unsigned char* buffer, std::size_t size, int& error) {
    ssize_t got;
    do got = ::read(static_cast<int>(file), buffer, size);
    while (got < 0 && errno == EINTR);
    if (got < 0) error = errno;
    return got;
}

long long platform::skipToData(File file, long long offset) {
    const int fd = static_cast<int>(file);
    off_t data = ::lseek(fd, offset, SEEK_DATA);
    if (data < 0 && errno == ENXIO) data = ::lseek(fd, 0, SEEK_END);  // only a hole is left
    if (data < 0) {
        ::lseek(fd, offset, SEEK_SET);
        return -1;
    }
    return data;
}

void platform::closeFile(File file) {
    ::close(static_cast<int>(file));
}

const char* platform::errorText(int error) {
    return std::strerror(error);
}
