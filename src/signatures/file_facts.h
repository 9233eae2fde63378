#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalogs.h"
#include "trust.h"

namespace pelmar::signatures {

// What the check reads of one open file, each when first asked and never
// again: whether it is an executable image and for which machine, its
// embedded signature, and its hash by each catalog algorithm. One thread's,
// for one file.
class file_facts {
public:
    // `path`: the file's as Windows' verification should name it.
    file_facts(const win::catalog_hasher& hasher, std::wstring path, HANDLE file);

    [[nodiscard]] const std::wstring& path() const { return path_; }
    [[nodiscard]] HANDLE handle() const { return file_; }
    [[nodiscard]] bool computes(std::string_view algorithm) const {
        return hasher_.computes(algorithm);
    }

    [[nodiscard]] bool is_executable_image();
    // 0 for no image, as image_machine.
    [[nodiscard]] std::uint16_t machine();
    [[nodiscard]] const win::trust_result& embedded();
    // By an algorithm that computes() says this system has.
    [[nodiscard]] const win::result<win::catalog_hash>& hash(std::string_view algorithm);

private:
    // By each of catalog_hasher::algorithms, in their order.
    [[nodiscard]] static std::size_t slot(std::string_view algorithm);

    const win::catalog_hasher& hasher_;
    std::wstring path_;
    HANDLE file_;
    std::optional<bool> image_;
    std::optional<std::uint16_t> machine_;
    std::optional<win::trust_result> embedded_;
    std::array<std::optional<win::result<win::catalog_hash>>, win::catalog_hasher::algorithms.size()>
        hashes_;
};

}  // namespace pelmar::signatures
