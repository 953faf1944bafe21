// Helpers for in-process tests: the library's message boxes through the seam, the state object built
// from a definition text as start-up builds it, and a library copied into a folder tree to stand for
// the library's own module.
#pragma once

#include "Library.h" // with the tree and the box recorder

#include "Lib/Shared/Polvane/Globals.h"

#include <string>
#include <vector>

struct json_value;
namespace Tovik {
class SDK;
}

namespace InProcess {

// Records every message box of the library while it lives, answering each with `answer`.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<TestHost::RecordedBox> boxes;
    int answer = IDOK;

private:
    int(WINAPI* saved)(HWND, LPCWSTR, LPCWSTR, UINT);
};

// Sets the run mode and makes this thread the library's main thread, as start-up would; puts back the
// run mode, main thread and owner window that were set before when it ends.
class RunningAs {
public:
    explicit RunningAs(Polvane::MFXRunMode mode);
    ~RunningAs();
    RunningAs(const RunningAs&) = delete;
    RunningAs& operator=(const RunningAs&) = delete;

private:
    Polvane::MFXRunMode savedRunMode;
    DWORD savedMainThread;
    HWND savedOwner = Polvane::OwnerWindow;
};

// Whether p is a block from operator new that is not yet deleted.
bool IsLiveAllocation(const void* p);

// A definition text parsed as start-up parses it; fails the test when it does not parse, naming label
// (a table's case) and showing the text.
json_value* ParseDefinition(const std::string& text, const std::string& label = {});

// The state object of a built application for that definition; ::SDK points to it.
Tovik::SDK* BuildState(const std::string& definition);

// A copy of the system's version.dll (a small library that loads without side effects: only its file
// and folder matter) at `relative` in the tree, loaded; Polvane::ModuleHandle names it while this lives.
// Loading fails the test by throwing. Declare it after the tree: the module is released first, so that
// the tree can be removed.
class LibraryCopy : TestHost::Library {
public:
    LibraryCopy(const TestHost::TempTree& tree, const std::wstring& relative);
    ~LibraryCopy() { Polvane::ModuleHandle = savedModule; }

private:
    HMODULE savedModule;
};

} // namespace InProcess
