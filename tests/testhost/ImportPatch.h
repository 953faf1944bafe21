// A module's import table is data: an entry of it can be pointed at a routine of the test host's own
// for as long as the patch lives, and is put back afterwards.
#pragma once

#include <windows.h>

namespace TestHost {

class ImportPatch {
public:
    // Points module's import of dll!function at replacement; does nothing when the module does not
    // import that function by name.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Installed() const { return slot != nullptr; }

private:
    void** slot;
    void* original;
};

} // namespace TestHost
