// The Windows build under Wine, driven in a real X window as the Linux build is: its window and
// title, its pictures beside the Linux build's, the keys, the batch captions, the closing status, and
// what reaches stdout.txt and stderr.txt in its working directory. scripts/build-windows runs it with
// CELLVANE_WINDOWS_PROGRAM naming cellvane.exe (unpacked from the zip, beside its SDL.dll) and Wine
// set up; ctest does not run it.
#include "tests/support/captions.h"
#include "tests/window/x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace window_test;
namespace fs = std::filesystem;

namespace {

const std::string& title = expectedTitleCaption;
const std::string rulesMissing = "Error opening rules.ini, default rules loaded";

std::string windowsProgram() {
    const char* exe = std::getenv("CELLVANE_WINDOWS_PROGRAM");
    if (exe == nullptr || *exe == '\0') throw std::runtime_error("CELLVANE_WINDOWS_PROGRAM names no program");
    return exe;
}

// Started by Wine in the working directory the harness gives, or in the directory of that name inside
// it. SDL_VIDEODRIVER stays unset: the Unix environment reaches the Windows program, whose SDL knows
// no x11 driver.
ProgramOptions underWine(const std::string& subdirectory = "") {
    ProgramOptions options;
    options.setVideoDriver = false;
    if (subdirectory.empty())
        options.command = {"/usr/bin/wine", windowsProgram()};
    else
        options.command = {"/bin/sh", "-c", "cd \"$1\" && exec /usr/bin/wine \"$2\"", "sh", subdirectory, windowsProgram()};
    return options;
}

std::string fileText(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A text file as Windows writes it, with CR LF line ends, read with LF ones.
std::string windowsText(const fs::path& path) {
    std::string text = fileText(path);
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    return text;
}

// Waits until rect of the window shows what it showed before, or a picture that then stays the same
// for half a second; returns it.
Image settled(Viewer& v, Rect rect) {
    Image last = v.picture(rect);
    auto since = Clock::now();
    waitUntil(60, [&] {
        Image now = v.picture(rect);
        if (now != last) {
            last = std::move(now);
            since = Clock::now();
        }
        return Seconds(Clock::now() - since).count() > 0.5;
    });
    return last;
}

// Waits until the Windows program's rect shows exactly what the Linux program's showed.
::testing::AssertionResult showsTheSame(Viewer& windows, Rect rect, const Image& linux) {
    Image now;
    if (waitUntil(60, [&] { return (now = windows.picture(rect)) == linux; })) return ::testing::AssertionSuccess();
    int differences = 0;
    for (std::size_t k = 0; k < now.pixels.size() && k < linux.pixels.size(); ++k) differences += now.pixels[k] != linux.pixels[k];
    return ::testing::AssertionFailure() << differences << " of " << linux.pixels.size()
                                         << " pixels differ from the Linux build's; " << windows.seen();
}

// Presses key for a fifth of a second (a dozen passes) and waits up to three seconds after its release
// for condition, again until it holds. The release matters under Wine: a key such as keypad 9 clears
// the window in every pass it is held, and Wine sends the cleared window and the picture to the X
// server in separate updates, so a screenshot taken while it is held may show either.
bool pressUntil(Viewer& v, unsigned long key, const std::function<bool()>& condition, double deadlineSeconds = 60) {
    const auto start = Clock::now();
    while (Seconds(Clock::now() - start).count() < deadlineSeconds) {
        v.client->keyDown(key);
        sleepFor(0.2);
        v.client->keyUp(key);
        if (waitUntil(3, condition)) return true;
    }
    return false;
}

bool waitForStartPicture(Viewer& v) {
    return v.waitForWindow(120) && waitUntil(60, [&] { return checkFillsExactly(v.whole(), startRect).empty(); });
}

// What the Linux build writes on standard error for a rules.ini, with no window opened: the rules
// are read before SDL starts, so the program is ended as soon as the message is out.
std::string linuxWarnings(const std::function<void(const fs::path&)>& prepare) {
    ProgramOptions options;
    options.withDisplay = false;
    options.prepareWorkDir = prepare;
    Viewer linux(options);
    linux.process.waitForExit(60);
    return linux.standardError();
}

}  // namespace

TEST(WindowsProgram, TitledWindowWithTheLinuxPicturesAndTheRulesMessageClosesWithZero) {
    Viewer linux;
    ASSERT_TRUE(waitForStartPicture(linux)) << linux.seen();
    const Image linuxStart = settled(linux, startRect);

    Viewer windows(underWine());
    ASSERT_TRUE(windows.waitForWindow(120)) << windows.seen();
    EXPECT_EQ(windows.client->size(windows.window), std::make_pair(640, 480));
    EXPECT_TRUE(windows.waitForCaption(title, 60)) << windows.seen();
    EXPECT_TRUE(showsTheSame(windows, startRect, linuxStart));
    EXPECT_EQ(checkFillsExactly(windows.whole(), startRect), "");

    // Keypad 9: the picture fills the window, the same in both.
    ASSERT_TRUE(linux.holdUntil({XK_KP_Prior}, [&] { return checkFillsExactly(linux.whole(), wholeWindow).empty(); }))
        << linux.seen();
    const Image linuxWhole = settled(linux, wholeWindow);
    std::string fault;
    ASSERT_TRUE(pressUntil(windows, XK_KP_Prior, [&] { return (fault = checkFillsExactly(windows.whole(), wholeWindow)).empty(); }))
        << fault << "; " << windows.seen();
    EXPECT_TRUE(showsTheSame(windows, wholeWindow, linuxWhole));

    const fs::path work = windows.workDir();
    EXPECT_EQ(fileText(work / "stdout.txt"), rulesMissing);
    EXPECT_EQ(windows.closeAndWait(60), std::optional<int>(0)) << windows.seen();
    EXPECT_EQ(fileText(work / "stdout.txt"), rulesMissing);
    EXPECT_FALSE(fs::exists(work / "stderr.txt")) << "an empty stderr.txt is removed at exit: " << fileText(work / "stderr.txt");
    EXPECT_EQ(linux.closeAndWait(60), std::optional<int>(0));
}

TEST(WindowsProgram, PlaceAGenerationAndTheBatchCaptions) {
    ProgramOptions options = underWine();
    options.withRulesFile = true;
    Viewer v(options);
    ASSERT_TRUE(waitForStartPicture(v)) << v.seen();
    const Image start = settled(v, startRect);

    // b places a live cell ahead, over the upper right quarter of the picture (its x face, blue
    // dropped); under the default rules a lone cell dies in the next generation (space).
    ASSERT_TRUE(pressUntil(v, XK_b, [&] { return v.picture(startRect).at(50, 36) == Rgb{132, 128, 0}; })) << v.seen();
    ASSERT_TRUE(pressUntil(v, XK_space, [&] { return v.picture(startRect) == start; })) << v.seen();

    // d with f: ten thousand generations, the captions in order, released as soon as the first shows.
    CaptionRecorder recorder(v.server->display, v.window);
    const std::vector<std::string>& expected = expectedBatchCaptions();
    ASSERT_TRUE(v.holdUntil({XK_d, XK_f}, [&] { return v.caption() != title; }, 60, 0.001)) << v.seen();
    ASSERT_TRUE(waitUntil(900, [&] {
        const auto entries = recorder.entries();
        return !entries.empty() && entries.back().caption == expected.back();
    }, 0.05)) << v.seen();
    std::vector<std::string> seen;
    for (const auto& entry : recorder.entries()) seen.push_back(entry.caption);
    if (!seen.empty() && seen.front() == title) seen.erase(seen.begin());
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
    EXPECT_EQ(fileText(v.workDir() / "stdout.txt"), "") << "a rules.ini was there";
}

// rules.ini as a user may get it wrong, or as no file at all: the same warnings as the Linux build
// gives (in stderr.txt, with Windows' line ends), the defaults where it cannot be read, and the window
// all the same. The last case starts the program in a folder whose name is not ASCII.
TEST(WindowsProgram, RulesFileWarningsAsOnLinuxAndNeverAHang) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> prepare;
        bool rulesRead;
    };
    const std::string mistaken = "Survival\n2\n3x\n\n-4\n 27\n";
    const std::string subdirectory = "Zellen-W\xC3\xBCrfel \xE7\xAB\x8B\xE6\x96\xB9\xE4\xBD\x93";
    const Case cases[] = {
        {"a mistaken rules.ini", [&](const fs::path& d) { std::ofstream(d / "rules.ini", std::ios::binary) << mistaken; }, true},
        {"a directory named rules.ini", [](const fs::path& d) { fs::create_directory(d / "rules.ini"); }, false},
        {"a 4 GiB sparse rules.ini",
         [](const fs::path& d) {
             std::ofstream(d / "rules.ini", std::ios::binary) << "Survival\n2\n";
             fs::resize_file(d / "rules.ini", 4ull << 30);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string expected = linuxWarnings(c.prepare);
        ASSERT_FALSE(expected.empty()) << "the Linux build gave no warning";
        ProgramOptions options = underWine();
        options.prepareWorkDir = c.prepare;
        Viewer v(options);
        ASSERT_TRUE(v.waitForWindow(180)) << v.seen();
        EXPECT_EQ(windowsText(v.workDir() / "stderr.txt"), expected);
        EXPECT_EQ(fileText(v.workDir() / "stdout.txt"), c.rulesRead ? "" : rulesMissing);
        EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
    }

    ProgramOptions options = underWine(subdirectory);
    options.prepareWorkDir = [&](const fs::path& d) {
        fs::create_directory(d / subdirectory);
        std::ofstream(d / subdirectory / "rules.ini", std::ios::binary) << mistaken;
    };
    Viewer v(options);
    ASSERT_TRUE(v.waitForWindow(120)) << v.seen();
    const std::string expected = linuxWarnings([&](const fs::path& d) { std::ofstream(d / "rules.ini", std::ios::binary) << mistaken; });
    EXPECT_EQ(windowsText(v.workDir() / subdirectory / "stderr.txt"), expected);
    EXPECT_EQ(fileText(v.workDir() / subdirectory / "stdout.txt"), "");
    EXPECT_EQ(v.closeAndWait(60), std::optional<int>(0)) << v.seen();
}
