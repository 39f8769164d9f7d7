// Drives the real viewer in a real X window: a private Xvfb server, the program started in its own
// working directory, and an Xlib client that finds its window, reads captions, takes screenshots and
// sends real key and mouse events through XTest, as a user's keyboard and mouse would.
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

struct _XDisplay;  // Xlib's Display; its header stays out of the tests (its macros clash)

namespace window_test {

using Window = unsigned long;  // an X window id
using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// Paths of what the tests run, filled in by the build.
std::string programPath();
// The SDL 1.2 library that this test program loaded, and so the viewer it starts (LD_LIBRARY_PATH
// chooses it for both): the classic one, or SDL 1.2 over SDL 2. Named for the test output.
bool classicSdl();
std::string sdlLibraryName();
std::string refuseVideoShimPath();
std::string recordPresentsShimPath();

void sleepFor(double seconds);

// Polls condition until it holds or the deadline passes; returns whether it held.
bool waitUntil(double deadlineSeconds, const std::function<bool()>& condition, double pollSeconds = 0.01);

// A child process whose standard output and error go to files. It receives SIGTERM if the test
// process dies, so nothing outlives a crashed or timed-out test; the destructor ends it by its id.
struct ChildProcess {
    pid_t pid = -1;
    std::optional<int> exitStatus;  // set once the child has been reaped
    std::optional<int> exitSignal;
    std::vector<int> closedInChild;      // descriptors the next start closes in the child
    std::vector<int> brokenPipeInChild;  // descriptors the next start puts on a pipe with no reader
    unsigned long addressSpaceLimit = 0; // bytes of address space the next start allows (0: no limit)

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { stop(); }

    // Starts argv[0] with exactly the given environment, in directory cwd.
    void start(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
               const std::string& stdoutPath, const std::string& stderrPath, int extraFdTarget = -1,
               int extraFd = -1);
    bool running();
    // Waits up to timeout seconds for the child to end; true when it has ended.
    bool waitForExit(double timeoutSeconds);
    // SIGTERM, then SIGKILL if it has not ended within two seconds.
    void stop();
};

// A private Xvfb on a free display number of its own choosing, 1024 x 768 at depth 24.
struct XServer {
    ChildProcess process;
    std::string display;  // ":N"
    std::filesystem::path logDir;

    explicit XServer(const std::filesystem::path& dir);
    ~XServer() { process.stop(); }
};

// A scratch directory removed at the end of the test; holds the program's working directory, its
// XDG folders and its output files.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir();
    ~ScratchDir();
};

using Rgb = std::array<std::uint8_t, 3>;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;  // row by row from the top

    const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    bool operator==(const Image&) const = default;
    Image crop(int x, int y, int w, int h) const;
    // Writes a binary PPM (P6).
    void savePpm(const std::filesystem::path& path) const;
};

struct Rect {
    int x, y, w, h;
};

// One Xlib connection to the test's server.
struct XClient {
    _XDisplay* display = nullptr;

    explicit XClient(const std::string& displayName);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    // The viewable top-level window of process pid (by _NET_WM_PID), or 0.
    Window findWindowOf(pid_t pid);
    std::string caption(Window window);     // WM_NAME
    std::string netCaption(Window window);  // _NET_WM_NAME, empty if unset
    void setCaption(Window window, const std::string& text);
    std::pair<int, int> size(Window window);
    Image grab(Window window, Rect rect);
    Image grabWhole(Window window) { return grab(window, {0, 0, 640, 480}); }

    // Paints a rectangle of the program's window from outside, as another client may; the program
    // overwrites what it presents.
    void paint(Window window, Rect rect, Rgb colour);

    void keyDown(unsigned long keysym);
    void keyUp(unsigned long keysym);
    void moveMouseBy(int dx, int dy);
    void focus(Window window);
    // Sends the WM_DELETE_WINDOW message a window manager sends when the user closes the window.
    void closeWindow(Window window);
    // What another program may do to the window: destroy it, or end its owner's connection.
    void destroyWindow(Window window);
    void killClientOf(Window window);
};

// Records every change of a window's WM_NAME with the time it was seen, from a thread with its own
// connection, so that captions that last a few milliseconds are not missed.
struct CaptionRecorder {
    struct Entry {
        Clock::time_point at;
        std::string caption;
    };

    CaptionRecorder(const std::string& displayName, Window window);
    ~CaptionRecorder();
    // The captions seen so far, consecutive repeats merged.
    std::vector<Entry> entries();
    // How many times WM_NAME has been set, also when the window was gone before it could be read.
    int changes() const { return changeCount.load(); }

  private:
    std::atomic<bool> stopping{false};
    std::atomic<int> changeCount{0};
    std::mutex mutex;
    std::vector<Entry> seen;
    std::thread worker;
};

struct ProgramOptions {
    bool withRulesFile = false;
    bool withDisplay = true;
    bool setVideoDriver = true;                     // SDL_VIDEODRIVER=x11
    std::vector<std::string> preload;               // LD_PRELOAD libraries
    std::vector<std::string> extraEnv;              // NAME=value
    bool recordPresents = false;                    // preload the recorder of presentations
    std::vector<int> closedStreams;                 // standard descriptors the program starts without
    std::vector<int> brokenPipeStreams;             // standard descriptors on a pipe nobody reads
    unsigned long addressSpaceLimit = 0;            // bytes, as ulimit -v sets it (0: no limit)
    // Called with the program's working directory just before the program starts.
    std::function<void(const std::filesystem::path&)> prepareWorkDir;
    // The command that starts the program, when not the Linux build's (the Windows build under Wine,
    // the arm64 build under its emulator).
    std::vector<std::string> command;
};

// A rules.ini with the default rules, and the presentations recorded: how most tests start it.
ProgramOptions withRulesRecorded();

// One call of SDL_UpdateRect in the program, as the preloaded recorder wrote it.
struct Present {
    double at;  // seconds of CLOCK_MONOTONIC, the clock of monotonicNow()
    int x, y, width, height;
    int black;  // 1 when the whole rectangle was black in the surface
};
double monotonicNow();

// The viewer as a user starts it: in a scratch working directory (with or without a rules.ini), on
// the test's own X server, with private XDG folders and no sound.
struct Viewer {
    ScratchDir scratch;
    std::optional<XServer> server;
    std::optional<XClient> client;
    ChildProcess process;
    Window window = 0;
    bool recordingPresents = false;
    std::uintmax_t presentLogRead = 0;  // bytes of the present log counted so far
    int presentsCounted = 0;

    // Starts Xvfb (when options.withDisplay), then the program. Does not wait for the window.
    explicit Viewer(const ProgramOptions& options = {});
    ~Viewer();

    std::filesystem::path workDir() const { return scratch.path / "work"; }
    std::string standardOutput() const;
    // The presentations recorded so far (with options.recordPresents).
    std::vector<Present> presents() const;
    // The captions the program set, in order (with options.recordPresents).
    std::vector<std::string> captionCalls() const;
    std::string standardError() const;

    // Waits for the window, its title and a first picture; false on timeout.
    bool waitForWindow(double deadlineSeconds = 30);
    std::string caption() { return client->caption(window); }
    bool waitForCaption(const std::string& text, double deadlineSeconds);
    Image whole() { return client->grabWhole(window); }
    Image picture(Rect rect) { return client->grab(window, rect); }

    // Holds keys until condition holds (or the deadline passes), then releases them. Keys are read
    // once per pass, so holding until the effect is seen never misses a press however long a pass
    // takes. Returns whether the condition held.
    bool holdUntil(const std::vector<unsigned long>& keysyms, const std::function<bool()>& condition,
                   double deadlineSeconds = 60, double pollSeconds = 0.01);

    // Counting passes (with options.recordPresents). A pass drains the event queue, presents its
    // picture (one line in the recorder's log) and then reads the held keys, so the pass that
    // presents next after a call may have drained its events before the call; the one after it
    // cannot have.
    // The presentations recorded so far; reads the log on from where the last call stopped.
    int presentCount();
    // Waits until `passes` whole passes have drained their events and read the keys after this call
    // (the count has grown by passes + 2). False on the deadline.
    bool waitForPasses(int passes, double deadlineSeconds = 60);
    // Holds keys until at least `passes` passes have read them held, then releases them and waits
    // until a pass has read them up, so that the next press is a press of its own. However slow the
    // passes are, the program sees the keys down and then up. False on the deadline.
    bool press(const std::vector<unsigned long>& keysyms, int passes = 1, double deadlineSeconds = 60);
    // Waits until the program has presented its picture at least `passes` more times: with the
    // recorder, as waitForPasses; without it, seen by painting a marker over a corner of rect and
    // waiting for the program to paint it over.
    bool waitForPresents(Rect rect, int passes, double deadlineSeconds = 60);
    // Whether the program and its X server both still run: waits for the program end early when
    // either has gone.
    bool alive();
    // What the test can see of the program now, for failure messages: its caption, the number of
    // presentations recorded and whether it still runs (with its exit status and standard error
    // once it has ended).
    std::string seen();
    // Closes the window as a user does and waits for the exit status.
    std::optional<int> closeAndWait(double deadlineSeconds = 60);
};

// The centred picture rectangles of the four render sizes.
constexpr Rect startRect{270, 202, 100, 75};
constexpr Rect rect200{220, 165, 200, 150};
constexpr Rect rect320{160, 120, 320, 240};
constexpr Rect wholeWindow{0, 0, 640, 480};

// Checks of what a picture shows, returning a description of the first fault or "" when sound.
// The window outside rect is black and every pixel of rect is not (no colour the world can show is
// black).
std::string checkFillsExactly(const Image& window, Rect rect);
// Every pixel of a picture of the start world (no live cells) is a grey wall (128..192 in all three
// channels) or a caption pixel: red 255 with the green and blue of its column's and row's ramp.
std::string checkStartWorldColours(const Image& picture);
int countCaptionPixels(const Image& picture);

}  // namespace window_test
