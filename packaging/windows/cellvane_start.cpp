// Starts the viewer from the Start menu, as cellvane-start does from a Linux desktop menu. The viewer
// reads rules.ini from the folder it starts in, so this starts it in a folder of the user's own,
// %APPDATA%\Cellvane. The first time, that folder is created and given a copy of the built-in rules
// (survive on 2 or 3, born on 3) as rules.ini, ready to edit. Ends with the viewer's exit status.
#include <windows.h>

#include <string>

namespace {

std::wstring folderOfThisProgram() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L'\\'));
}

int fail(const std::wstring& what) {
    ::MessageBoxW(nullptr, what.c_str(), L"Cellvane 3D", MB_OK | MB_ICONERROR);
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::wstring appData(32768, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", appData.data(), static_cast<DWORD>(appData.size()));
    if (length == 0 || length >= appData.size()) return fail(L"APPDATA is not set: the folder for rules.ini is unknown.");
    appData.resize(length);
    const std::wstring here = folderOfThisProgram();
    const std::wstring folder = appData + L"\\Cellvane";
    if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!::CreateDirectoryW(folder.c_str(), nullptr)) return fail(L"Cannot create " + folder);
        ::CopyFileW((here + L"\\rules\\default-23-3.ini").c_str(), (folder + L"\\rules.ini").c_str(), TRUE);
    }

    std::wstring program = here + L"\\cellvane.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &process))
        return fail(L"Cannot start " + program);
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
