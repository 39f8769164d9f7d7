// The platform layer on the system the tests run on: the same expectations hold for the Linux source
// and, under Wine, for the Windows one.
#include "shell/platform.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct TemporaryDirectory {
    fs::path path = fs::temp_directory_path() /
                    ("cellvane-platform-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    TemporaryDirectory() { fs::create_directories(path); }
    ~TemporaryDirectory() { fs::remove_all(path); }
};

// path as the program passes it on: UTF-8 on every system.
std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

struct Opened {
    platform::File file;
    std::string warnings;
};

Opened open(const std::string& path) {
    std::FILE* warnings = std::tmpfile();
    const platform::File file = platform::openRegularFile(path.c_str(), warnings);
    std::string text;
    std::rewind(warnings);
    for (int c = std::fgetc(warnings); c != EOF; c = std::fgetc(warnings)) text += static_cast<char>(c);
    std::fclose(warnings);
    return {file, text};
}

}  // namespace

TEST(PlatformFiles, ARegularFileReadsWholeAlsoUnderANameThatIsNotAscii) {
    TemporaryDirectory directory;
    const fs::path folder = directory.path / fs::path(u8"W\u00fcrfel \u7acb\u65b9\u4f53");
    fs::create_directory(folder);
    std::string contents;
    for (int i = 0; i < 40000; ++i) contents += std::to_string(i % 97) + (i % 3 == 0 ? "\r\n" : "\n");
    std::ofstream(folder / "rules.ini", std::ios::binary) << contents;

    const Opened opened = open(utf8(folder / "rules.ini"));
    ASSERT_GE(opened.file, 0) << opened.warnings;
    EXPECT_EQ(opened.warnings, "");
    std::string read;
    unsigned char chunk[65536];
    int error = 0;
    for (long long got; (got = platform::readFile(opened.file, chunk, sizeof chunk, error)) > 0;)
        read.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(got));
    EXPECT_EQ(error, 0) << platform::errorText(error);
    EXPECT_EQ(read, contents) << "bytes read differ; no line end may be translated";
    platform::closeFile(opened.file);
}

TEST(PlatformFiles, NoSuchFileIsSilentAndADirectoryIsNamed) {
    TemporaryDirectory directory;
    const Opened missing = open(utf8(directory.path / "rules.ini"));
    EXPECT_EQ(missing.file, -1);
    EXPECT_EQ(missing.warnings, "");

    fs::create_directory(directory.path / "rules.ini");
    const std::string path = utf8(directory.path / "rules.ini");
    const Opened folder = open(path);
    EXPECT_EQ(folder.file, -1);
    EXPECT_EQ(folder.warnings, path + ": is a directory; only a regular file is read\n");
}

// A crash while SDL starts ends the program with status 1 and the start-up failure on standard output
// (a fatal signal on Linux, an unhandled exception on Windows).
TEST(PlatformCrash, ACrashWhileStartingIsReportedAsTheStartUpFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::fflush(stdout);
            dup2(2, 1);  // the death test reads standard error
            platform::setStartUpStep("Unable to set video: ");
            platform::reportCrashesWhileStarting(true);
            static volatile std::uintptr_t nowhere = 16;  // in the page no program maps; not null, which UBSan checks
            *reinterpret_cast<volatile int*>(nowhere) = 1;
            std::exit(0);
        },
        testing::ExitedWithCode(1), "^Unable to set video: SDL's libraries crashed \\(\\w.*\\)\n");
}
