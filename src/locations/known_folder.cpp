#include "known_folder.h"

#include <shlobj.h>

#include "unique_handle.h"

namespace {

// Text the shell allocated with the COM task allocator.
using unique_cotaskmem_string = unique_handle<wchar_t*, CoTaskMemFree>;

}  // namespace

std::wstring known_folder_path(const GUID& folder) {
    // The shell's text is the caller's to free whether or not the call succeeded.
    unique_cotaskmem_string owned;
    const HRESULT result = SHGetKnownFolderPath(folder, 0, nullptr, owned.put());
    if (FAILED(result) || !owned) {
        return std::wstring();
    }
    return std::wstring(owned.get());
}
