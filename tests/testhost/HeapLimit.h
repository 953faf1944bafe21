// A host nearly out of memory, made without taking memory away from the test: while a limit lives, the
// C heap as one module sees it refuses every block of `limit` bytes or more, so that the module's large
// copies fail as they would in a full process.
#pragma once

#include "ImportPatch.h"

#include <cstddef>

namespace TestHost {

class HeapLimit {
public:
    HeapLimit(HMODULE module, std::size_t limit);
    HeapLimit(const HeapLimit&) = delete;
    HeapLimit& operator=(const HeapLimit&) = delete;

    bool Installed() const { return patch.Installed(); } // the module takes its blocks from msvcrt.dll

private:
    ImportPatch patch;
};

} // namespace TestHost
