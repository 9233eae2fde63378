#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <windows.h>

// A folder of a test's own in the temporary folder, removed with all that it
// holds when the test is done.
class temp_folder {
public:
    explicit temp_folder(const std::wstring& purpose)
        : root_(std::filesystem::temp_directory_path() /
                (L"pelmar_" + purpose + L"_" + std::to_wstring(GetCurrentProcessId()))) {
        std::filesystem::create_directories(root_);
    }
    ~temp_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    // Writes `bytes` to the file `name` in the folder, making the folders on
    // its way and replacing the file; its path.
    std::wstring write(const std::wstring& name, const std::string& bytes) const {
        const std::filesystem::path path = root_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.wstring();
    }

    std::wstring path() const { return root_.wstring(); }
    std::wstring path(const std::wstring& name) const { return (root_ / name).wstring(); }

private:
    std::filesystem::path root_;
};
