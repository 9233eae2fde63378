#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win32_error.h"

// A text value of HKLM that names what the spooler loads or uses.
struct registry_text_value {
    // The key that rows show as their folder, below HKLM:
    // `SYSTEM\CurrentControlSet\Control\Print`.
    std::wstring root;
    // The value below it, its key and name: `Monitors\Local Port\Driver`.
    std::wstring value;
    std::wstring text;
};

// A key below `root` that could not be read, and the read that failed.
struct unreadable_key {
    std::wstring root;
    std::wstring key;
    pelmar::win::win32_error error;
};

// The spooler's registrations beside its folders and drivers, and the
// settings that decide who may add to them, as far as they can be read.
struct spooler_registrations {
    // The libraries it loads by name: the port and language monitors'
    // `Monitors\<name>\Driver`, the print providers' `Providers\<name>\Name`,
    // and each printer's `CopyFiles\<name>\Module`, unexpanded paths or bare
    // names.
    std::vector<registry_text_value> modules;
    // Each printer's own `SpoolDirectory`, where it has one.
    std::vector<registry_text_value> spool_folders;
    // The names of the ports, under `SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports`.
    std::vector<std::wstring> ports;
    bool printer_shared = false;
    // The Point and Print policy's values and the remote endpoint's, where set.
    std::optional<std::uint32_t> restrict_driver_installation;
    std::optional<std::uint32_t> no_warning_no_elevation;
    std::optional<std::uint32_t> update_prompt;
    std::optional<std::uint32_t> remote_rpc_endpoint;
    // The machine is a domain controller (ProductType LanmanNT).
    bool domain_controller = false;
    std::vector<unreadable_key> unreadable;
};

[[nodiscard]] spooler_registrations read_spooler_registrations();
