#include "location_cache.h"

#include "location_resolver.h"

std::wstring location_cache::directory(std::int32_t location) {
    const auto found = entries_.find(location);
    if (found != entries_.end()) {
        return found->second;
    }
    return entries_.emplace(location, resolve_location(location)).first->second;
}

namespace {

location_cache run_cache;

}  // namespace

location_cache& run_location_cache() {
    return run_cache;
}

std::wstring location_directory(std::int32_t location) {
    return run_location_cache().directory(location);
}
