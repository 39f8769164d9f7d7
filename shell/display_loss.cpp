#include "shell/screen.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

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
