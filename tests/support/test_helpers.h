#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "console_output.h"

// A captureless lambda or a function, as the address import_patch wants.
template <typename function>
const void* as_import(function replacement) {
    return reinterpret_cast<const void*>(+replacement);
}

// Stand-ins for an imported function of type `function`: `fail` fails as
// Windows reports failures, with `code` as the last error and a zero result;
// `throw_bad_alloc` runs out of memory.
template <typename function, DWORD code = 0>
struct stand_in;
template <typename result, typename... arguments, DWORD code>
struct stand_in<result(arguments...), code> {
    static result WINAPI fail(arguments...) {
        SetLastError(code);
        return result{};
    }
    static result WINAPI throw_bad_alloc(arguments...) { throw std::bad_alloc(); }
};

// The Windows error code of the `exception_type` that `run` throws; wide
// enough to compare with the codes' own (signed) constants without a cast.
template <typename exception_type, typename action>
std::int64_t code_thrown(action run) {
    try {
        run();
    } catch (const exception_type& failure) {
        return failure.error_code;
    }
    ADD_FAILURE() << "no exception";
    return 0;
}

// A file in the temporary folder, open for writing, deleted at the end.
class temp_file {
public:
    temp_file() {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"pel", 0, path_);
        handle_ = CreateFileW(path_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    }
    ~temp_file() {
        CloseHandle(handle_);
        DeleteFileW(path_);
    }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;

    HANDLE handle() const { return handle_; }

    // A second handle that may only read, so that every write to it fails.
    HANDLE open_read_only() const {
        return CreateFileW(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }

    std::string contents() const {
        const HANDLE reader = open_read_only();
        std::string bytes(GetFileSize(reader, nullptr), '\0');
        DWORD read = 0;
        ReadFile(reader, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        CloseHandle(reader);
        bytes.resize(read);
        return bytes;
    }

private:
    wchar_t path_[MAX_PATH] = {};
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// std_handle_buffer takes its handle from the standard handles once, when it
// is built, so standard output points at `handle` for that moment only.
inline std::unique_ptr<std_handle_buffer> buffer_on(HANDLE handle) {
    const HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, handle);
    auto buffer = std::make_unique<std_handle_buffer>(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, previous);
    return buffer;
}
