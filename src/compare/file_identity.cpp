#include "file_identity.h"

bool identify_file(HANDLE file, file_identity& identity) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        return false;
    }
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = static_cast<std::uint64_t>(information.nFileIndexHigh) << 32 |
                     information.nFileIndexLow;
    return true;
}
