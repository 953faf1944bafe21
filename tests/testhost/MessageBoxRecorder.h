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

// While several recorders live, the newest one records every box.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(HMODULE module);
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<RecordedBox>& Boxes() const;
    void Clear();
    // The button id every recorded box answers (IDOK by default).
    void SetAnswer(int answer);
    // False when the module imports no user32.dll!MessageBoxW: nothing can be recorded then.
    bool Installed() const { return patch.Installed(); }

private:
    static int WINAPI Record(HWND owner, LPCWSTR text, LPCWSTR title, UINT style);

    ImportPatch patch;
    std::vector<RecordedBox> boxes;
    int answer = IDOK;
};

} // namespace TestHost
