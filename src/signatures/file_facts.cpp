#include "file_facts.h"

#include <algorithm>

#include "executable_image.h"

namespace pelmar::signatures {

file_facts::file_facts(const win::catalog_hasher& hasher, std::wstring path, HANDLE file)
    : hasher_(hasher), path_(std::move(path)), file_(file) {}

std::size_t file_facts::slot(std::string_view algorithm) {
    const auto& known = win::catalog_hasher::algorithms;
    return static_cast<std::size_t>(std::find(known.begin(), known.end(), algorithm) -
                                    known.begin());
}

bool file_facts::is_executable_image() {
    if (!image_) {
        image_ = signatures::is_executable_image(file_);
    }
    return *image_;
}

std::uint16_t file_facts::machine() {
    if (!machine_) {
        machine_ = image_machine(file_);
    }
    return *machine_;
}

const win::trust_result& file_facts::embedded() {
    if (!embedded_) {
        embedded_ = win::verify_embedded(path_, file_);
    }
    return *embedded_;
}

const win::result<win::catalog_hash>& file_facts::hash(std::string_view algorithm) {
    auto& hash = hashes_.at(slot(algorithm));
    if (!hash) {
        hash = hasher_.hash(algorithm, file_);
    }
    return *hash;
}

}  // namespace pelmar::signatures
