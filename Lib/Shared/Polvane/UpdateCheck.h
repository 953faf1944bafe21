// The update check: in the editor, one background thread asks the framework's update server whether a
// newer version of the extension or the framework is announced, and leaves the outcome here for the
// editor's main thread to show.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

namespace Polvane {

enum class UpdateOutcome : std::int32_t {
    Running = 0, // no outcome yet, and for good after an unexpected failure
    Disabled = 1,
    NothingToShow = 2,
    Error = 3, // UpdateLog explains
    ExtDevError = 4,
    SDKUpdate = 5,
    ReinstallNeeded = 6,
    MinorUpdate = 7,
    MajorUpdate = 8,
};

// UpdateState, UpdateLog and UpdateText are shared with the main thread and guarded by UpdateLock.
extern UpdateOutcome UpdateState;
extern std::atomic<bool> UpdateLock;
extern std::stringstream UpdateLog; // UTF-8
extern std::wstring UpdateText;
// Written by the worker before it stores its outcome; read only after a non-zero UpdateState was seen.
extern std::wstring UpdateURL;
extern HANDLE UpdateThreadHandle;
extern bool UpdateNoticeShown;

// Looked up, named in the request's Host header and in the lookup failure's log line.
extern const char* const UpdateServerName;

// What one check may take: a server that is slow, silent or talkative cannot hold the worker or its
// memory. The shipped values are the defaults; tests shorten the times.
struct UpdateCheckLimits {
    DWORD connectMilliseconds;
    DWORD replyMilliseconds; // from the request sent to the reply's end
    std::size_t replyBytes;
};
extern UpdateCheckLimits UpdateLimits;

// A spin lock: held only for short appends and stores, so waiting means spinning.
void AcquireUpdateLock();
void ReleaseUpdateLock();

// Starts the worker; the editor only. A second start throws std::runtime_error.
void StartUpdateCheck();
DWORD WINAPI UpdateCheckThread(LPVOID);

// At unload: wakes a worker still waiting on the network, waits up to 3 s for it to end and ends it
// only when it has not, then lets its handle go.
void EndUpdateCheck();

// Triage of a sockets error code (or 22 for an unreadable page). True: state 3 is set and the caller
// still holds UpdateLock, to append its own line and release it. False: state 2, lock released.
bool ReportUpdateError(int code);

std::string UrlEncode(std::string_view text);

} // namespace Polvane
