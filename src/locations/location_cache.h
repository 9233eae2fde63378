#pragma once

#include <cstdint>
#include <map>
#include <string>

// Remembers what resolve_location gave for each location value. An entry,
// Missing texts included, never changes once made; a resolution that throws
// makes none, so the next request asks again.
class location_cache {
public:
    std::wstring directory(std::int32_t location);

private:
    std::map<std::int32_t, std::wstring> entries_;
};

// The run's one cache, which location_directory answers from. Reachable so
// that each test of a whole run can start from an empty one, as a run does.
location_cache& run_location_cache();

// The location's text from the run's one cache: each location is resolved at
// its first request only. Unsynchronised: call it from one thread only.
std::wstring location_directory(std::int32_t location);
