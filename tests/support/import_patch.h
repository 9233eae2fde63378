#pragma once

// Replaces one function that this test program imports from a DLL, by
// rewriting its slot in the program's import address table, and puts the
// original back when it goes out of scope. Calls that the product code makes
// through the import go to the replacement meanwhile.
class import_patch {
public:
    // `module` is the DLL's name as the import table spells it, compared
    // without regard to case ("winspool.drv"); `function` the imported name.
    // Fails the current test (and patches nothing) when the import is absent.
    import_patch(const char* module, const char* function, const void* replacement);
    ~import_patch();

    import_patch(const import_patch&) = delete;
    import_patch& operator=(const import_patch&) = delete;

    // The function that the slot held before, to call through from a replacement.
    template <typename function_type>
    function_type original() const {
        return reinterpret_cast<function_type>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
