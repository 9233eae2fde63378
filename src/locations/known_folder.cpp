#include "known_folder.h"

#include <shlobj.h>

namespace {

// Owns text the shell allocated with the COM task allocator.
class unique_cotaskmem_string {
public:
    explicit unique_cotaskmem_string(wchar_t* text) : text_(text) {}
    ~unique_cotaskmem_string() { CoTaskMemFree(text_); }

    unique_cotaskmem_string(const unique_cotaskmem_string&) = delete;
    unique_cotaskmem_string& operator=(const unique_cotaskmem_string&) = delete;

    const wchar_t* get() const { return text_; }

private:
    wchar_t* text_;
};

}  // namespace

std::wstring known_folder_path(const GUID& folder) {
    wchar_t* shell_text = nullptr;
    const HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, &shell_text);
    // The shell's text is the caller's to free whether or not the call succeeded.
    const unique_cotaskmem_string owned(shell_text);
    if (FAILED(result) || owned.get() == nullptr) {
        return std::wstring();
    }
    return std::wstring(owned.get());
}
