#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pelmar::winspool {

// Records of the installed printer drivers at one information level, followed
// by the texts they point into; the pointers live as long as the buffer.
using driver_info_buffer = std::unique_ptr<unsigned char[]>;

// How often the signature check fetches a listing while a busy print server
// installs drivers or adds printers between the calls, before it gives up.
constexpr int tries_while_growing = 4;

// Lists the local spooler's printer drivers for `environment` at `level`; a
// null environment is the caller's own. `tries`: how often the records are
// fetched while the spooler needs more room than it last said (a driver was
// installed meanwhile); with one, the first answer stands, and the records
// describe the state that the size was asked of.
// Returns no buffer when the spooler completed without needing one; `returned`
// counts the records. Throws enum_printer_drivers_exception.
[[nodiscard]] driver_info_buffer enum_printer_drivers(const wchar_t* environment,
                                                      std::uint32_t level, std::uint32_t& needed,
                                                      std::uint32_t& returned, int tries = 1);

// The local spooler's print processor folder for the running environment, as
// the spooler gives it; empty when the spooler completed without needing a
// buffer. Throws print_processor_exception.
[[nodiscard]] std::wstring print_processor_directory_path(std::uint32_t& needed);

}  // namespace pelmar::winspool
