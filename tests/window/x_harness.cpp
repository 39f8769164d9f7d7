#include "tests/window/x_harness.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <SDL/SDL.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace window_test {

std::string programPath() { return CELLVANE_PROGRAM; }
std::string refuseVideoShimPath() { return CELLVANE_REFUSE_VIDEO_SHIM; }
std::string recordPresentsShimPath() { return CELLVANE_RECORD_PRESENTS_SHIM; }

double monotonicNow() { return Seconds(Clock::now().time_since_epoch()).count(); }

void sleepFor(double seconds) { std::this_thread::sleep_for(Seconds(seconds)); }

bool waitUntil(double deadlineSeconds, const std::function<bool()>& condition, double pollSeconds) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(deadlineSeconds));
    for (;;) {
        if (condition()) return true;
        if (Clock::now() >= deadline) return false;
        sleepFor(pollSeconds);
    }
}

bool classicSdl() {
    // SDL 1.2 over SDL 2 numbers its releases from 1.2.50 on; the classic library ended at 1.2.15.
    return SDL_Linked_Version()->patch < 50;
}

std::string sdlLibraryName() {
    const SDL_version* v = SDL_Linked_Version();
    const std::string number = std::to_string(v->major) + "." + std::to_string(v->minor) + "." + std::to_string(v->patch);
    return (classicSdl() ? "classic SDL " : "SDL 1.2 over SDL 2, ") + number;
}

// ---------------------------------------------------------------------------------------------
// Processes

void ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& cwd, const std::string& stdoutPath, const std::string& stderrPath,
                         int extraFdTarget, int extraFd) {
    // Everything the child needs is prepared before fork: after it, only async-signal-safe calls.
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || err < 0 || in < 0) throw std::runtime_error("cannot open the output files of " + argv[0]);
    int brokenPipe[2] = {-1, -1};
    if (!brokenPipeInChild.empty()) {
        if (::pipe2(brokenPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        ::close(brokenPipe[0]);  // nobody reads: a write gives SIGPIPE
    }
    const pid_t parent = ::getpid();

    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (extraFd >= 0) ::dup2(extraFd, extraFdTarget);
        for (const int fd : brokenPipeInChild) ::dup2(brokenPipe[1], fd);
        for (const int fd : closedInChild) ::close(fd);
        if (addressSpaceLimit != 0) {
            const rlimit limit{addressSpaceLimit, addressSpaceLimit};
            ::setrlimit(RLIMIT_AS, &limit);
        }
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    ::close(in);
    if (brokenPipe[1] >= 0) ::close(brokenPipe[1]);
    pid = child;
    exitStatus.reset();
    exitSignal.reset();
}

bool ChildProcess::running() {
    if (pid < 0) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == 0) return true;
    if (r == pid) {
        if (WIFEXITED(status)) exitStatus = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) exitSignal = WTERMSIG(status);
    }
    pid = -1;
    return false;
}

bool ChildProcess::waitForExit(double timeoutSeconds) {
    return waitUntil(timeoutSeconds, [&] { return !running(); }, 0.005);
}

void ChildProcess::stop() {
    if (!running()) return;
    ::kill(pid, SIGTERM);
    if (waitForExit(2)) return;
    ::kill(pid, SIGKILL);
    waitForExit(5);
}

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/cellvane-window-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

XServer::XServer(const std::filesystem::path& dir) : logDir(dir) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    // Xvfb picks a free display itself and writes its number to descriptor 3 once it accepts clients.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    process.start({"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
                  env, dir.string(), (dir / "xvfb.out").string(), (dir / "xvfb.err").string(), 3, fds[1]);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        if (::poll(&p, 1, 100) > 0) {
            char c;
            const ssize_t n = ::read(fds[0], &c, 1);
            if (n <= 0 || c == '\n') break;
            number += c;
        }
    }
    ::close(fds[0]);
    if (number.empty()) throw std::runtime_error("Xvfb did not report a display");
    display = ":" + number;
}

// ---------------------------------------------------------------------------------------------
// Images

Image Image::crop(int x, int y, int w, int h) const {
    Image out;
    out.width = w;
    out.height = h;
    out.pixels.reserve(static_cast<std::size_t>(w) * h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) out.pixels.push_back(at(x + i, y + j));
    return out;
}

void Image::savePpm(const std::filesystem::path& path) const {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << width << " " << height << "\n255\n";
    for (const Rgb& p : pixels) f.write(reinterpret_cast<const char*>(p.data()), 3);
}

// ---------------------------------------------------------------------------------------------
// X client

namespace {

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

std::once_flag xThreadsOnce;

int channelShift(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

}  // namespace

XClient::XClient(const std::string& displayName) {
    std::call_once(xThreadsOnce, [] {
        XInitThreads();
        // The program's window disappears when it exits; requests about it then fail harmlessly.
        XSetErrorHandler(ignoreXErrors);
    });
    display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) throw std::runtime_error("cannot open display " + displayName);
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor))
        throw std::runtime_error("the X server has no XTest extension");
}

XClient::~XClient() {
    if (display != nullptr) XCloseDisplay(display);
}

Window XClient::findWindowOf(pid_t pid) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data != nullptr && items == 1 && format == 32) {
            if (static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid) found = children[i];
        }
        if (data != nullptr) XFree(data);
    }
    if (children != nullptr) XFree(children);
    return found;
}

std::string XClient::caption(Window window) {
    XTextProperty text{};
    std::string result;
    if (XGetWMName(display, window, &text) && text.value != nullptr)
        result.assign(reinterpret_cast<const char*>(text.value), text.nitems);
    if (text.value != nullptr) XFree(text.value);
    return result;
}

std::string XClient::netCaption(Window window) {
    const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &items, &after, &data) ==
            Success &&
        data != nullptr)
        result.assign(reinterpret_cast<const char*>(data), items);
    if (data != nullptr) XFree(data);
    return result;
}

void XClient::setCaption(Window window, const std::string& text) {
    XStoreName(display, window, text.c_str());
    XSync(display, False);
}

std::pair<int, int> XClient::size(Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) return {0, 0};
    return {attributes.width, attributes.height};
}

Image XClient::grab(Window window, Rect rect) {
    Image image;
    XImage* x = XGetImage(display, window, rect.x, rect.y, static_cast<unsigned>(rect.w), static_cast<unsigned>(rect.h),
                          AllPlanes, ZPixmap);
    if (x == nullptr) return image;  // the window is gone
    image.width = rect.w;
    image.height = rect.h;
    image.pixels.resize(static_cast<std::size_t>(rect.w) * rect.h);
    const int rs = channelShift(x->red_mask), gs = channelShift(x->green_mask), bs = channelShift(x->blue_mask);
    for (int j = 0; j < rect.h; ++j)
        for (int i = 0; i < rect.w; ++i) {
            const unsigned long v = XGetPixel(x, i, j);
            image.pixels[static_cast<std::size_t>(j) * rect.w + i] = {static_cast<std::uint8_t>((v & x->red_mask) >> rs),
                                                                      static_cast<std::uint8_t>((v & x->green_mask) >> gs),
                                                                      static_cast<std::uint8_t>((v & x->blue_mask) >> bs)};
        }
    XDestroyImage(x);
    return image;
}

void XClient::paint(Window window, Rect rect, Rgb colour) {
    GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, static_cast<unsigned long>(colour[0]) << 16 | colour[1] << 8 | colour[2]);
    XFillRectangle(display, window, gc, rect.x, rect.y, static_cast<unsigned>(rect.w), static_cast<unsigned>(rect.h));
    XFreeGC(display, gc);
    XSync(display, False);
}

// The reply to the first XSync may reach this client while the server is still writing the event
// it generated to the program's connection; the server answers the second only after it has written
// out everything, so once this returns the program can read the event.
namespace {
void syncTwice(Display* display) {
    XSync(display, False);
    XSync(display, False);
}
}  // namespace

void XClient::keyDown(unsigned long keysym) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, CurrentTime);
    syncTwice(display);
}

void XClient::keyUp(unsigned long keysym) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), False, CurrentTime);
    syncTwice(display);
}

void XClient::moveMouseBy(int dx, int dy) {
    XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
    syncTwice(display);
}

void XClient::focus(Window window) {
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

void XClient::destroyWindow(Window window) {
    XDestroyWindow(display, window);
    XSync(display, False);
}

void XClient::killClientOf(Window window) {
    XKillClient(display, window);
    XSync(display, False);
}

void XClient::closeWindow(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

// ---------------------------------------------------------------------------------------------
// Caption recorder

CaptionRecorder::CaptionRecorder(const std::string& displayName, Window window) {
    auto client = std::make_shared<XClient>(displayName);
    XSelectInput(client->display, window, PropertyChangeMask);
    XSync(client->display, False);
    worker = std::thread([this, client, window] {
        Display* d = client->display;
        const Atom wmName = XA_WM_NAME;
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        while (!stopping.load()) {
            while (XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type != PropertyNotify || event.xproperty.atom != wmName) continue;
                ++changeCount;
                const std::string text = client->caption(window);
                if (text.empty()) continue;  // the window is gone
                const auto now = Clock::now();
                std::lock_guard lock(mutex);
                if (seen.empty() || seen.back().caption != text) seen.push_back({now, text});
            }
            ::poll(&p, 1, 20);
        }
    });
}

CaptionRecorder::~CaptionRecorder() {
    stopping.store(true);
    worker.join();
}

std::vector<CaptionRecorder::Entry> CaptionRecorder::entries() {
    std::lock_guard lock(mutex);
    return seen;
}

// ---------------------------------------------------------------------------------------------
// The viewer

namespace {

// A rules file with the default rules: survival on 2 or 3, birth on 3.
void writeDefaultRules(const std::filesystem::path& path) {
    std::ofstream f(path);
    f << "Survival (default rules)\n2\n3\n";
    for (int i = 2; i < 26; ++i) f << "99\n";
    f << "Birth\n3\n";
    for (int i = 1; i < 26; ++i) f << "99\n";
}

bool isOwnVariable(const std::string& entry) {
    for (const char* prefix : {"DISPLAY=", "SDL_", "XDG_RUNTIME_DIR=", "XDG_CACHE_HOME=", "XDG_CONFIG_HOME=",
                               "LD_PRELOAD=", "WAYLAND_DISPLAY=", "XAUTHORITY="})
        if (entry.rfind(prefix, 0) == 0) return true;
    return false;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

ProgramOptions withRulesRecorded() {
    ProgramOptions options;
    options.withRulesFile = true;
    options.recordPresents = true;
    return options;
}

Viewer::Viewer(const ProgramOptions& options) {
    namespace fs = std::filesystem;
    const fs::path work = workDir();
    for (const char* d : {"work", "runtime", "cache", "config"}) fs::create_directories(scratch.path / d);
    fs::permissions(scratch.path / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    if (options.withRulesFile) writeDefaultRules(work / "rules.ini");

    std::vector<std::string> env;
    std::string asanOptions;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (isOwnVariable(entry)) continue;
        if (entry.rfind("ASAN_OPTIONS=", 0) == 0) {
            asanOptions = entry.substr(13);
            continue;
        }
        env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + (scratch.path / "runtime").string());
    env.push_back("XDG_CACHE_HOME=" + (scratch.path / "cache").string());
    env.push_back("XDG_CONFIG_HOME=" + (scratch.path / "config").string());
    env.push_back("SDL_AUDIODRIVER=dummy");
    if (options.setVideoDriver) env.push_back("SDL_VIDEODRIVER=x11");
    if (options.withDisplay) {
        server.emplace(scratch.path);
        env.push_back("DISPLAY=" + server->display);
        client.emplace(server->display);
    }
    std::vector<std::string> preload = options.preload;
    recordingPresents = options.recordPresents;
    if (options.recordPresents) {
        preload.push_back(recordPresentsShimPath());
        env.push_back("CELLVANE_PRESENT_LOG=" + (scratch.path / "presents.log").string());
        env.push_back("CELLVANE_CAPTION_LOG=" + (scratch.path / "captions.log").string());
    }
    if (!preload.empty()) {
        std::string list;
        for (const auto& p : preload) list += (list.empty() ? "" : ":") + p;
        env.push_back("LD_PRELOAD=" + list);
        // A sanitized program wants its runtime first among the libraries; a preloaded shim is
        // loaded before it, which is harmless here.
        asanOptions += (asanOptions.empty() ? "" : ":") + std::string("verify_asan_link_order=0");
    }
    if (!asanOptions.empty()) env.push_back("ASAN_OPTIONS=" + asanOptions);
    for (const auto& e : options.extraEnv) env.push_back(e);
    if (options.prepareWorkDir) options.prepareWorkDir(work);

    process.closedInChild = options.closedStreams;
    process.brokenPipeInChild = options.brokenPipeStreams;
    process.addressSpaceLimit = options.addressSpaceLimit;
    const std::vector<std::string> command = options.command.empty() ? std::vector<std::string>{programPath()} : options.command;
    process.start(command, env, work.string(), (scratch.path / "stdout.txt").string(),
                  (scratch.path / "stderr.txt").string());
}

Viewer::~Viewer() {
    process.stop();
    client.reset();
    server.reset();
}

std::string Viewer::standardOutput() const { return readFile(scratch.path / "stdout.txt"); }
std::string Viewer::standardError() const { return readFile(scratch.path / "stderr.txt"); }

std::vector<Present> Viewer::presents() const {
    std::vector<Present> presents;
    std::ifstream f(scratch.path / "presents.log");
    Present p{};
    while (f >> p.at >> p.x >> p.y >> p.width >> p.height >> p.black) presents.push_back(p);
    return presents;
}

std::vector<std::string> Viewer::captionCalls() const {
    std::vector<std::string> captions;
    std::ifstream f(scratch.path / "captions.log");
    for (std::string line; std::getline(f, line);) captions.push_back(line);
    return captions;
}

bool Viewer::waitForWindow(double deadlineSeconds) {
    if (!client) return false;
    const bool found = waitUntil(deadlineSeconds, [&] {
        if (!process.running()) return true;
        window = client->findWindowOf(process.pid);
        if (window == 0) return false;
        // A picture is on the screen once the centre of the start rectangle is no longer black.
        const Image centre = client->grab(window, {319, 239, 2, 2});
        return !centre.pixels.empty() && centre.at(0, 0) != Rgb{0, 0, 0} && !client->caption(window).empty();
    });
    if (!found || window == 0 || !process.running()) return false;  // a program that ended has no window
    client->focus(window);
    return true;
}

bool Viewer::waitForCaption(const std::string& text, double deadlineSeconds) {
    return waitUntil(deadlineSeconds, [&] { return caption() == text; });
}

bool Viewer::holdUntil(const std::vector<unsigned long>& keysyms, const std::function<bool()>& condition,
                       double deadlineSeconds, double pollSeconds) {
    for (unsigned long k : keysyms) client->keyDown(k);
    const bool held = waitUntil(deadlineSeconds, condition, pollSeconds);
    for (unsigned long k : keysyms) client->keyUp(k);
    return held;
}

int Viewer::presentCount() {
    std::ifstream f(scratch.path / "presents.log", std::ios::binary);
    if (!f) return presentsCounted;  // nothing presented yet
    f.seekg(static_cast<std::streamoff>(presentLogRead));
    const std::string rest{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    // Only whole lines count: the recorder may be half way through writing the last one.
    const std::size_t end = rest.rfind('\n');
    if (end == std::string::npos) return presentsCounted;
    presentsCounted += static_cast<int>(std::count(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(end), '\n')) + 1;
    presentLogRead += end + 1;
    return presentsCounted;
}

bool Viewer::waitForPasses(int passes, double deadlineSeconds) {
    if (!recordingPresents) throw std::logic_error("counting passes needs ProgramOptions::recordPresents");
    const int target = presentCount() + passes + 2;
    waitUntil(deadlineSeconds, [&] { return presentCount() >= target || !alive(); });
    return presentCount() >= target;
}

bool Viewer::press(const std::vector<unsigned long>& keysyms, int passes, double deadlineSeconds) {
    for (unsigned long k : keysyms) client->keyDown(k);
    const bool readDown = waitForPasses(passes, deadlineSeconds);
    for (unsigned long k : keysyms) client->keyUp(k);
    const bool readUp = waitForPasses(1, deadlineSeconds);
    return readDown && readUp;
}

bool Viewer::alive() { return process.running() && (!server || server->process.running()); }

std::string Viewer::seen() {
    const bool serverGone = server && !server->process.running();
    std::string text = serverGone ? std::string("the X server has ended")
                                  : "caption \"" + (client && window != 0 ? caption() : std::string("(no window)")) + "\"";
    if (recordingPresents) text += ", " + std::to_string(presentCount()) + " presentations recorded";
    if (process.running()) return text + ", the program runs";
    text += ", the program has ended";
    if (process.exitStatus) text += " with status " + std::to_string(*process.exitStatus);
    if (process.exitSignal) text += " by signal " + std::to_string(*process.exitSignal);
    return text + "; standard error: \"" + standardError() + "\"";
}

bool Viewer::waitForPresents(Rect rect, int passes, double deadlineSeconds) {
    if (recordingPresents) return waitForPasses(passes, deadlineSeconds);
    // No colour of the world has channels that are not all multiples of four, apart from the
    // caption's red 255; this one cannot come from the program.
    const Rgb marker{1, 2, 3};
    const Rect spot{rect.x, rect.y, 1, 1};
    for (int i = 0; i < passes; ++i) {
        client->paint(window, spot, marker);
        if (!waitUntil(deadlineSeconds, [&] {
                const Image p = client->grab(window, spot);
                return p.pixels.empty() || p.at(0, 0) != marker;
            }))
            return false;
    }
    return true;
}

std::optional<int> Viewer::closeAndWait(double deadlineSeconds) {
    client->closeWindow(window);
    if (!process.waitForExit(deadlineSeconds)) return std::nullopt;
    return process.exitStatus;
}

// ---------------------------------------------------------------------------------------------
// Picture checks

namespace {

std::string describe(int x, int y, const Rgb& p) {
    char text[80];
    std::snprintf(text, sizeof text, "(%d, %d) is (%d, %d, %d)", x, y, p[0], p[1], p[2]);
    return text;
}

bool isCaptionPixel(const Image& picture, int i, int j, const Rgb& p) {
    const double w = picture.width, h = picture.height;
    const double f = -w / 2 + i;
    const double g = h / 2 - 1 - j;
    const int green = static_cast<int>(f * 255 / w + 128);
    const int blue = static_cast<int>(g * 255 / h + 128);
    return p[0] == 255 && p[1] == green && p[2] == blue;
}

}  // namespace

std::string checkFillsExactly(const Image& window, Rect rect) {
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x) {
            const bool inside = x >= rect.x && x < rect.x + rect.w && y >= rect.y && y < rect.y + rect.h;
            const Rgb& p = window.at(x, y);
            const bool black = p == Rgb{0, 0, 0};
            if (inside && black) return "picture pixel " + describe(x, y, p) + " is black";
            if (!inside && !black) return "pixel outside the picture " + describe(x, y, p) + " is not black";
        }
    return "";
}

std::string checkStartWorldColours(const Image& picture) {
    for (int j = 0; j < picture.height; ++j)
        for (int i = 0; i < picture.width; ++i) {
            const Rgb& p = picture.at(i, j);
            const bool grey = p[0] == p[1] && p[1] == p[2] && p[0] >= 128 && p[0] <= 192;
            if (!grey && !isCaptionPixel(picture, i, j, p))
                return "picture pixel " + describe(i, j, p) + " is neither a wall's grey nor the caption's ramp";
        }
    return "";
}

int countCaptionPixels(const Image& picture) {
    int count = 0;
    for (const Rgb& p : picture.pixels) count += p[0] == 255;
    return count;
}

}  // namespace window_test
