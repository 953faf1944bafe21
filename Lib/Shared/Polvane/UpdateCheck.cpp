#include "UpdateCheck.h"

#include "../Host/Seam.h"
#include "Globals.h"
#include "MsgBox.h"
#include "Settings.h"
#include "TextConversion.h"

#include <winsock2.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Polvane {

UpdateOutcome UpdateState = UpdateOutcome::Running;
std::atomic<bool> UpdateLock{false};
std::stringstream UpdateLog;
std::wstring UpdateText;
std::wstring UpdateURL;
HANDLE UpdateThreadHandle = nullptr;
bool UpdateNoticeShown = false;

// The project has no update server: a name under .invalid never resolves, so the check ends as a quiet
// lookup failure and nobody else's server can answer in the project's name.
const char* const UpdateServerName = "update.morvalex.invalid";

UpdateCheckLimits UpdateLimits = {10000, 30000, 65536};

namespace {

// Set by EndUpdateCheck: the worker's waits on the network end early.
std::atomic<bool> StopRequested{false};

// What the request tells the server about this build.
constexpr char ProductName[] = "Morvalex";
constexpr int ExtensionBuild = 1;
constexpr int FrameworkBuild = 19;
constexpr char BuildConfiguration[] = "Debug Unicode";
constexpr wchar_t ResourceTag[] = L"disabled";
constexpr wchar_t RegistrationTag[] = L"disabled";

// Errors the user can rarely do anything about are kept quiet unless the settings ask for all.
struct QuietError {
    int code;
    const char* explanation;
};
constexpr QuietError QuietErrors[] = {
    {11004, "The DNS provider couldn't find the update server; is your computer offline?\n"},
    {10061, "The Ostrel update server is online, but not servicing HTTP requests.\n"},
    {10060, "The Ostrel update server is offline.\n"},
    {22, "Page's response was unreadable.\n"},
};

// The kinds of announcement, tried in this order.
struct PageKind {
    const char* prefix;
    UpdateOutcome outcome;
    bool textKeepsPrefix;
};
constexpr PageKind PageKinds[] = {
    {"Reinstall Needed:\n", UpdateOutcome::ReinstallNeeded, false},
    {"None", UpdateOutcome::NothingToShow, true},
    {"Ext Dev Error:\n", UpdateOutcome::ExtDevError, false},
    {"SDK Update:\n", UpdateOutcome::SDKUpdate, false},
    {"Major Update:\n", UpdateOutcome::MajorUpdate, false},
    {"Minor Update:\n", UpdateOutcome::MinorUpdate, false},
};

// Holds UpdateLock for a scope, so that an exception leaving a held section frees the lock for the
// crash handler.
class UpdateLockHold {
public:
    UpdateLockHold() { AcquireUpdateLock(); }
    // Takes over a lock that ReportUpdateError left held.
    struct Adopt {};
    explicit UpdateLockHold(Adopt) {}
    ~UpdateLockHold()
    {
        if (held)
            ReleaseUpdateLock();
    }
    UpdateLockHold(const UpdateLockHold&) = delete;
    UpdateLockHold& operator=(const UpdateLockHold&) = delete;

    // The caller goes on holding the lock after this scope.
    void HandOver() { held = false; }

private:
    bool held = true;
};

// The socket and the sockets library, given back on every way out of the exchange.
class Sockets {
public:
    Sockets() = default;
    ~Sockets()
    {
        if (socket != INVALID_SOCKET)
            closesocket(socket);
        if (started)
            WSACleanup();
    }
    Sockets(const Sockets&) = delete;
    Sockets& operator=(const Sockets&) = delete;

    bool started = false;
    SOCKET socket = INVALID_SOCKET;
};

void AppendLog(const std::string& text)
{
    UpdateLockHold hold;
    UpdateLog << text;
}

// The worker's last word: a log line and the outcome in one hold.
void Conclude(const std::string& text, UpdateOutcome outcome)
{
    UpdateLockHold hold;
    UpdateLog << text;
    UpdateState = outcome;
}

// The worker's own clock, not the tests' seam: the limits are real time.
ULONGLONG Now() { return GetTickCount64(); }

enum class Awaited { Connection, Data };

// Waits in short slices, so that a stop request is seen soon. False past the deadline or on a stop.
bool AwaitSocket(SOCKET socket, Awaited awaited, ULONGLONG deadline)
{
    while (!StopRequested.load()) {
        const ULONGLONG now = Now();
        if (now >= deadline)
            return false;
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_SET(socket, &ready);
        FD_ZERO(&failed);
        FD_SET(socket, &failed);
        const long slice = static_cast<long>(std::min<ULONGLONG>(deadline - now, 50));
        timeval wait = {0, slice * 1000};
        // A connection is made when the socket turns writable and has failed when it shows an exception.
        const int n = awaited == Awaited::Connection ? select(0, nullptr, &ready, &failed, &wait)
                                                     : select(0, &ready, nullptr, nullptr, &wait);
        // Ready, or select failed: the next call on the socket tells which.
        if (n != 0)
            return true;
    }
    return false;
}

// connect, within the connection limit: past it, the sockets error of a connection that timed out.
int ConnectWithinLimit(SOCKET socket, const sockaddr_in& address)
{
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    int error = 0;
    if (Host::Seam.connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            int length = sizeof error;
            if (!AwaitSocket(socket, Awaited::Connection, Now() + UpdateLimits.connectMilliseconds))
                error = WSAETIMEDOUT;
            else if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
                error = WSAGetLastError();
        }
    }
    // Sending and receiving block again; receiving waits for data first, so it cannot hang.
    nonBlocking = 0;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    WSASetLastError(error);
    return error == 0 ? 0 : SOCKET_ERROR;
}

// recv, once data is there or the connection is over; past the deadline, a timed-out error.
int ReceiveBefore(SOCKET socket, char* buffer, int size, ULONGLONG deadline)
{
    if (!AwaitSocket(socket, Awaited::Data, deadline)) {
        WSASetLastError(WSAETIMEDOUT);
        return SOCKET_ERROR;
    }
    return recv(socket, buffer, size, 0);
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Replaces pair by ";" until none is left, each search starting again at the beginning.
void CollapseAll(std::string& text, std::string_view pair)
{
    for (std::size_t at = text.find(pair); at != std::string::npos; at = text.find(pair))
        text.replace(at, pair.size(), ";");
}

bool CheckDisabledBySettings()
{
    std::string names = ";" + GetIniSetting("DisableUpdateCheckFor") + ";";
    CollapseAll(names, "; ");
    CollapseAll(names, " ;");
    return names.find(std::string(";") + ProductName + ";") != std::string::npos ||
           names.find(";*;") != std::string::npos;
}

std::string BlanksAsPercent20(std::string_view text)
{
    std::string result;
    for (char c : text)
        result += c == ' ' ? std::string("%20") : std::string(1, c);
    return result;
}

// Connects to the update server, sends the request and reads the reply until the server closes.
// False when that failed; the failure is already logged and triaged.
bool FetchReply(std::string& raw)
{
    Sockets sockets;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        Conclude("WSAStartup failed.\n", UpdateOutcome::Error);
        return false;
    }
    sockets.started = true;

    sockets.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sockets.socket == INVALID_SOCKET) {
        Conclude("socket() failed. Error " + std::to_string(WSAGetLastError()) + ".\n", UpdateOutcome::Error);
        return false;
    }

    const hostent* server = Host::Seam.gethostbyname(UpdateServerName);
    // An answer without an address is the same as a name without one.
    const int lookupError = server == nullptr ? WSAGetLastError() : WSANO_DATA;
    if (server == nullptr || server->h_length != 4 || server->h_addr_list[0] == nullptr) {
        if (ReportUpdateError(lookupError)) {
            UpdateLockHold hold(UpdateLockHold::Adopt{});
            UpdateLog << "DNS lookup of \"" << UpdateServerName << "\" failed, error " << lookupError << ".";
        }
        return false;
    }

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    std::memcpy(&address.sin_addr, server->h_addr_list[0], sizeof address.sin_addr);
    AppendLog("Connecting...\n");
    if (ConnectWithinLimit(sockets.socket, address) != 0) {
        const int error = WSAGetLastError();
        if (ReportUpdateError(error)) {
            UpdateLockHold hold(UpdateLockHold::Adopt{});
            UpdateLog << "Connect failed, error number " << error << ".";
        }
        return false;
    }
    AppendLog("Connected to update server.\n");

    const std::string product = UrlEncode(ProductName);
    const std::string config = BlanksAsPercent20(BuildConfiguration);
    const std::string resourceTag = UrlEncode(WideToUTF8(ResourceTag));
    const std::string registrationTag = UrlEncode(WideToUTF8(RegistrationTag));
    const std::string request = "GET /storage/polvane_vercheck.php?ext=" + product +
                                "&build=" + std::to_string(ExtensionBuild) +
                                "&sdkBuild=" + std::to_string(FrameworkBuild) + "&projConfig=" + config +
                                "&tagRes=" + resourceTag + "&tagReg=" + registrationTag +
                                " HTTP/1.1\r\nHost: " + UpdateServerName + "\r\nConnection: close\r\n\r\n";
    AppendLog("Sent update request for ext \"" + std::string(ProductName) + "\", encoded as \"" + product +
              "\", build " + std::to_string(ExtensionBuild) + ", SDK build " +
              std::to_string(FrameworkBuild) + ", config " + config + ", tagging res \"" + resourceTag +
              "\", reg \"" + registrationTag + "\".\n");
    // The request line without its protocol.
    AppendLog(request.substr(0, request.find(' ', 4)) + "\n");

    // The server expects the terminating NUL as well.
    if (send(sockets.socket, request.c_str(), static_cast<int>(request.size() + 1), 0) == SOCKET_ERROR) {
        Conclude("Send failed, error " + std::to_string(WSAGetLastError()) + ".", UpdateOutcome::Error);
        return false;
    }

    AppendLog("Result follows:\n");
    const ULONGLONG deadline = Now() + UpdateLimits.replyMilliseconds;
    char buffer[1024];
    int received;
    while ((received = ReceiveBefore(sockets.socket, buffer, sizeof buffer, deadline)) > 0) {
        raw.append(buffer, static_cast<std::size_t>(received));
        if (raw.size() > UpdateLimits.replyBytes) {
            Conclude("Update page response longer than " + std::to_string(UpdateLimits.replyBytes) +
                         " bytes.",
                     UpdateOutcome::Error);
            return false;
        }
    }
    if (received < 0) {
        if (ReportUpdateError(WSAGetLastError())) {
            UpdateLockHold hold(UpdateLockHold::Adopt{});
            UpdateLog << "Error with recv().";
        }
        return false;
    }

    UpdateLockHold hold;
    UpdateLog << raw << "\nResult concluded.\n";
    Host::Seam.OutputDebugStringA(UpdateLog.str().c_str());
    return true;
}

// Sorts the reply into an outcome.
void Interpret(const std::string& raw)
{
    const std::string reply = raw.substr(0, raw.find('\0'));
    if (reply.empty()) {
        // A server that answers nothing is as good as offline.
        if (ReportUpdateError(10060)) {
            UpdateLockHold hold(UpdateLockHold::Adopt{});
            UpdateLog << "Page result was empty.";
        }
        return;
    }

    const std::size_t lineEnd = reply.find_first_of("\r\n");
    if (lineEnd == std::string::npos) {
        Conclude("End of first line not found. Full raw (non-http) response:\n" + reply,
                 UpdateOutcome::Error);
        return;
    }
    const std::string status = reply.substr(0, lineEnd);
    if (!StartsWith(status, "HTTP/1.1")) {
        Conclude("Unexpected non-http response:\n" + reply, UpdateOutcome::Error);
        return;
    }
    if (!StartsWith(status, "HTTP/1.1 200")) {
        Conclude("HTTP error " + status.substr(8), UpdateOutcome::Error);
        return;
    }

    const std::size_t headerEnd = reply.find("\r\n\r\n");
    if (headerEnd == std::string::npos) {
        Conclude("Malformed HTTP response; end of HTTP header not found.", UpdateOutcome::Error);
        return;
    }
    std::string body = reply.substr(headerEnd + 4);
    if (body.find('\r') != std::string::npos) {
        Conclude("CR not permitted in update page response.\n" + body, UpdateOutcome::Error);
        return;
    }

    if (StartsWithIgnoringCase(body, "https://") || StartsWithIgnoringCase(body, "http://")) {
        const std::size_t lineFeed = body.find('\n');
        UpdateURL = UTF8ToWide(body.substr(0, lineFeed));
        body = lineFeed == std::string::npos ? std::string() : body.substr(lineFeed + 1);
    }
    AppendLog("Completed OK. Response:\n" + body);

    // Every text is made before the lock is taken: what is published under it cannot fail halfway, so
    // the main thread never sees an outcome without its text, and nothing is written after it.
    for (const PageKind& kind : PageKinds) {
        if (StartsWithIgnoringCase(body, kind.prefix)) {
            std::wstring text =
                UTF8ToWide(kind.textKeepsPrefix ? body : body.substr(std::strlen(kind.prefix)));
            UpdateLockHold hold;
            UpdateText.swap(text);
            UpdateState = kind.outcome;
            return;
        }
    }
    std::wstring text = UTF8ToWide(body);
    if (ReportUpdateError(22)) {
        UpdateLockHold hold(UpdateLockHold::Adopt{});
        UpdateLog << "Can't interpret type of page:\n" << body;
        UpdateText.swap(text);
    }
}

void RunCheck()
{
    if (CheckDisabledBySettings()) {
        Conclude("Update check was disabled.", UpdateOutcome::Disabled);
        return;
    }
    std::string raw;
    if (FetchReply(raw))
        Interpret(raw);
}

} // namespace

void AcquireUpdateLock()
{
    while (UpdateLock.exchange(true))
        ;
}

void ReleaseUpdateLock() { UpdateLock.store(false); }

void StartUpdateCheck()
{
    if (RunMode != MFXRunMode::Editor) {
        MsgBox::Error(L"Critial error", L"The update checker is running during the wrong mode.");
        return;
    }
    if (UpdateThreadHandle != nullptr)
        throw std::runtime_error("Using multiple update threads");
    StopRequested.store(false);
    UpdateThreadHandle = CreateThread(nullptr, 0, UpdateCheckThread, nullptr, 0, nullptr);
    if (UpdateThreadHandle == nullptr) {
        MsgBox::Error(L"Critial error", L"The update checker failed to start, error %u.",
                      static_cast<unsigned>(GetLastError()));
        UpdateCheckThread(nullptr);
    }
}

DWORD WINAPI UpdateCheckThread(LPVOID)
{
    try {
        RunCheck();
    } catch (...) {
        // No outcome is stored, so no notice is ever shown; the log goes to the debugger.
        UpdateLockHold hold;
        UpdateLog << "Caught a crash. Aborting update.";
        // Nothing may leave the thread: a log that cannot be copied any more is not passed on.
        try {
            Host::Seam.OutputDebugStringA(UpdateLog.str().c_str());
        } catch (...) {
        }
    }
    return 0;
}

void EndUpdateCheck()
{
    if (UpdateThreadHandle == nullptr)
        return;
    StopRequested.store(true);
    // Ending a thread from outside can leave the heap's lock taken and hang the unload: the last resort.
    if (WaitForSingleObject(UpdateThreadHandle, 3000) == WAIT_TIMEOUT)
        TerminateThread(UpdateThreadHandle, 2);
    CloseHandle(UpdateThreadHandle);
    UpdateThreadHandle = nullptr;
}

bool ReportUpdateError(int code)
{
    UpdateLockHold hold;
    UpdateLog.str(std::string());
    UpdateLog.clear();
    // A name the DNS does not know, or could not be asked about, is as quiet as a name without an
    // address: the server's name cannot resolve until the project has a server, which must not trouble
    // authors. What is reported still names the error that happened.
    const int quietCode = code == WSAHOST_NOT_FOUND || code == WSATRY_AGAIN ? WSANO_DATA : code;
    bool report = true;
    for (const QuietError& quiet : QuietErrors) {
        if (quiet.code == quietCode) {
            UpdateLog << quiet.explanation;
            report = false;
        }
    }
    if (GetIniSetting("ReportAllUpdateCheckErrors") == "true")
        report = true;
    if (report) {
        UpdateState = UpdateOutcome::Error;
        hold.HandOver();
        return true;
    }
    UpdateState = UpdateOutcome::NothingToShow;
    UpdateLog << "Not reporting, as it's an error the user is unlikely to fix.\n";
    return false;
}

std::string UrlEncode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
                           byte == '~';
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0x0F];
        }
    }
    return encoded;
}

} // namespace Polvane
