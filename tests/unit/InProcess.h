// Helpers for in-process tests: the library's message boxes through the seam, and the state object
// built from a definition text as start-up builds it.
#pragma once

#include "MessageBoxRecorder.h"

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
    void* saved;
};

// A definition text parsed as start-up parses it; fails the test when it does not parse.
json_value* ParseDefinition(const std::string& text);

// The state object of a built application for that definition; ::SDK points to it.
Tovik::SDK* BuildState(const std::string& definition);

} // namespace InProcess
