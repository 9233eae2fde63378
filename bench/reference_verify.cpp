// The yardstick for the signature check's cost: WinVerifyTrust on each file
// named, with the check's own settings (offline: no revocation, only the URL
// cache), and nothing else: no locations, no catalogs, no table.
//
// Usage: reference_verify.exe <path>... | @<list>
// where <list> is a file of paths, one a line (ASCII), for more than a
// command line holds.
// Exit code 0 when every signature is valid; otherwise 1 and a line on
// standard error for each file that failed.

#include <cstdio>
#include <string>
#include <vector>

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

namespace {

LONG verify(const wchar_t* path) {
    const HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return static_cast<LONG>(HRESULT_FROM_WIN32(GetLastError()));
    }
    WINTRUST_FILE_INFO file_info{};
    file_info.cbStruct = sizeof(file_info);
    file_info.pcwszFilePath = path;
    file_info.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file_info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = WinVerifyTrust(no_window, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(no_window, &action, &data);
    CloseHandle(file);
    return result;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::wstring> paths(argv + 1, argv + argc);
    if (paths.size() == 1 && paths.front().starts_with(L'@')) {
        FILE* const list = _wfopen(paths.front().c_str() + 1, L"r");
        paths.clear();
        char line[4096];
        while (list != nullptr && std::fgets(line, sizeof line, list) != nullptr) {
            std::string path = line;
            while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) {
                path.pop_back();
            }
            paths.emplace_back(path.begin(), path.end());
        }
        if (list != nullptr) {
            std::fclose(list);
        }
    }
    int exit_code = 0;
    for (const std::wstring& path : paths) {
        if (const LONG result = verify(path.c_str())) {
            std::fprintf(stderr, "%ls: 0x%08lx\n", path.c_str(), static_cast<unsigned long>(result));
            exit_code = 1;
        }
    }
    return paths.empty() ? 1 : exit_code;
}
