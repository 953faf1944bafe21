// Sees the message boxes of a loaded library: its import table is data, and its user32.dll!MessageBoxW
// entry is replaced by a recorder for as long as the recorder lives.
#pragma once

#include "ImportPatch.h"

#include <windows.h>

#include <string>
#include <vector>

namespace TestHost {

struct RecordedBox {
    std::wstring title;
    std::wstring text;
    unsigned style;
    HWND owner;
};

// While several recorders live, the newest one records every box; each is answered IDOK.
// Installed() is false when the module imports no user32.dll!MessageBoxW: nothing can be recorded then.
class MessageBoxRecorder : public ImportPatch {
public:
    explicit MessageBoxRecorder(HMODULE module);
    ~MessageBoxRecorder();

    const std::vector<RecordedBox>& Boxes() const { return boxes; }
    void Clear() { boxes.clear(); }

private:
    static int WINAPI Record(HWND owner, LPCWSTR text, LPCWSTR title, UINT style);

    std::vector<RecordedBox> boxes;
};

} // namespace TestHost
