// Runs a program while this process holds one file open without any sharing,
// as a virus scanner or an installer in the middle of its work may do:
//   file_holder PATH PROGRAM [ARGUMENTS...]
// The program inherits the standard handles and its exit code becomes this
// one's. Exit code 3 and a line on standard error when the file cannot be
// held exclusively or the program cannot be started.
#include <string>

#include <windows.h>

namespace {

int fail(const std::string& what) {
    const std::string line = what + " failed: " + std::to_string(GetLastError()) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
    return 3;
}

// Quoted so that CommandLineToArgvW and the C runtime give back the argument
// unchanged (backslashes before a quote are doubled).
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(character == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        text += character;
    }
    text.append(backslashes * 2, L'\\');
    return text + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc < 3) {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return fail("command line");
    }
    // Not inheritable: the program must meet the file as held by another process.
    const HANDLE held = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return fail("CreateFileW");
    }
    // The holder only proves something if the system refuses the sharing.
    const HANDLE second = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (second != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
        return fail("exclusive hold");
    }

    std::wstring command_line = quoted(argv[2]);
    for (int index = 3; index < argc; ++index) {
        command_line += L" " + quoted(argv[index]);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (const HANDLE standard : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(standard, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(argv[2], command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return fail("CreateProcessW");
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 3;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(held);
    return static_cast<int>(exit_code);
}
