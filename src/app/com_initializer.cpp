#include "com_initializer.h"

#include <objbase.h>

#include "win32_exception.h"

com_initializer::com_initializer() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(result)) {
        throw com_exception(static_cast<std::uint32_t>(result));
    }
    // S_FALSE (already initialised on this thread) must be balanced too.
    initialized_ = true;
}

com_initializer::~com_initializer() {
    if (initialized_) {
        CoUninitialize();
    }
}
