#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

// What inspecting one file at one location found.
class file_info {
public:
    // Files of 4 GiB and more are common enough on print servers that the
    // size keeps all 64 bits; the all-ones value can never be a real size.
    static constexpr std::uint64_t unmeasured = std::numeric_limits<std::uint64_t>::max();
    // What the table shows for a file that was not inspected, in each of its
    // columns, and for a file without a fixed file version; saved tables are
    // read back by these texts.
    static constexpr std::wstring_view not_inspected = L"--";
    static constexpr std::wstring_view no_version = L"N/A";

    file_info(std::wstring directory, std::wstring file_name, std::uint64_t size,
              std::wstring version, std::wstring hash)
        : directory_(std::move(directory)),
          file_name_(std::move(file_name)),
          size_(size),
          version_(std::move(version)),
          hash_(std::move(hash)) {}

    std::wstring directory() const { return directory_; }
    std::wstring file_name() const { return file_name_; }
    std::uint64_t size() const { return size_; }
    std::wstring version() const { return version_; }
    std::wstring hash() const { return hash_; }

private:
    std::wstring directory_;
    std::wstring file_name_;
    std::uint64_t size_;
    std::wstring version_;
    std::wstring hash_;
};
