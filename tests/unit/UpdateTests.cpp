// The update check and its notice: the worker talks to a server played on 127.0.0.1 through the seam, the
// notice paints through the fake MMFS2.dll. Settings are read once per process: ctest runs each case alone.
#include "Lib/Shared/Host/Seam.h"

#include "InProcess.h"

#include "FakeSurfaces.h"
#include "Lib/Shared/Host/SurfaceLibrary.h"
#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <numeric>
#include <set>
#include <stdexcept>
#include <tuple>
#include <utility>

using O = Polvane::UpdateOutcome;
using Texts = std::vector<std::wstring>;

namespace {

// Every case of this program that builds the state object in the editor starts the worker: unless a case
// answers the lookup itself, it fails at once, so nothing ever leaves the machine.
hostent* WINAPI NoSuchName(const char*) { return WSASetLastError(WSANO_DATA), nullptr; }
const bool lookupFailsByDefault = (Host::Seam.gethostbyname = NoSuchName) != nullptr;

// Only the update server's name has addresses: these two, none when lookupError is -1; any other lookupError
// fails the lookup. Only port 80 of the first address leads to the server (port 0: nobody listens).
int lookupError = 0;
char first[4] = {127, 0, 0, 7}, second[4] = {127, 0, 0, 9};
char* addresses[] = {first, second, nullptr};
hostent answer = {nullptr, nullptr, AF_INET, 4, addresses};
sockaddr_in serverAddress = {AF_INET, 0, {{{127, 0, 0, 1}}}, {}};
Texts opened; // "operation page show", and "+" when anything else was passed
hostent* WINAPI AnswerLookup(const char* name)
{
    const int error = std::strcmp(name, "update.morvalex.invalid") != 0 ? WSAHOST_NOT_FOUND : lookupError;
    WSASetLastError(std::max(error, 0));
    answer.h_addr_list = error < 0 ? addresses + 2 : addresses;
    return error <= 0 ? &answer : nullptr;
}
int WINAPI ConnectToServer(SOCKET socket, const sockaddr* address, int length)
{
    const auto* asked = reinterpret_cast<const sockaddr_in*>(address);
    const bool right = asked->sin_family == AF_INET && ntohs(asked->sin_port) == 80 &&
                       std::memcmp(&asked->sin_addr, first, 4) == 0;
    return connect(socket, reinterpret_cast<const sockaddr*>(&serverAddress), right ? length : 0);
}
HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR page, LPCWSTR args, LPCWSTR folder, INT show)
{
    const bool more = owner || args || folder;
    opened.push_back(std::wstring(verb) + L" " + page + L" " + std::to_wstring(show) + (more ? L"+" : L""));
    return nullptr;
}
HMODULE WINAPI FindFake() { return LoadLibraryW(TestHost::FakeSurfaceLibraryPath().c_str()); }

// The server, played on this thread while the worker runs: the listener, then the worker's connection, then
// two that fill the listener's queue. It waits at most 10 s for anything, so that a faulty worker fails a
// case instead of hanging it.
struct Server {
    SOCKET sockets[4] = {socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
    Server()
    {
        int length = sizeof serverAddress;
        serverAddress.sin_port = 0;
        bind(sockets[0], reinterpret_cast<sockaddr*>(&serverAddress), length);
        listen(sockets[0], 1);
        getsockname(sockets[0], reinterpret_cast<sockaddr*>(&serverAddress), &length);
    }
    ~Server() { std::for_each(std::begin(sockets), std::end(sockets), closesocket); }
    // The queue of a listener of one holds two connections nobody accepts: the next is never answered.
    void FillQueue()
    {
        for (SOCKET* filler = sockets + 2; filler != std::end(sockets); ++filler)
            connect(*filler = socket(AF_INET, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&serverAddress),
                    sizeof serverAddress);
    }
    // Takes the worker's connection, answers with chunks after pauses, then closes or stalls: what was sent.
    std::string Serve(const std::vector<std::string>& chunks, DWORD pause = 0, bool stall = false)
    {
        const auto ready = [](SOCKET socket) {
            fd_set set = {1, {socket}};
            timeval limit = {10, 0};
            return select(0, &set, nullptr, nullptr, &limit) == 1;
        };
        std::string sent;
        const auto read = [&] {
            char buffer[4096];
            const int n = ready(sockets[1]) ? recv(sockets[1], buffer, sizeof buffer, 0) : 0;
            sent.append(buffer, std::max(n, 0));
            return n > 0;
        };
        if (ready(sockets[0]))
            sockets[1] = accept(sockets[0], nullptr, nullptr);
        while (sent.find(std::string("\r\n\r\n", 5)) == std::string::npos && read())
            ; // the request ends with its empty line and a NUL byte
        for (std::size_t i = 0, open = 1; open && i < chunks.size(); ++i) {
            Sleep(pause); // a worker that hung up gets nothing more
            open = send(sockets[1], chunks[i].data(), static_cast<int>(chunks[i].size()), 0) > 0;
        }
        while (!stall && shutdown(sockets[1], SD_SEND) == 0 && read())
            ;
        return sent;
    }
};

const std::string RequestLine = "GET /storage/polvane_vercheck.php?ext=Morvalex&build=1&sdkBuild=19"
                                "&projConfig=Debug%20Unicode&tagRes=disabled&tagReg=disabled";
const std::string LogUntilSend = "Connecting...\nConnected to update server.\nSent update request for ext "
                                 "\"Morvalex\", encoded as \"Morvalex\", build 1, SDK build 19, config "
                                 "Debug%20Unicode, tagging res \"disabled\", reg \"disabled\".\n" +
                                 RequestLine + "\n",
                  LogUntilSent = LogUntilSend + "Result follows:\n";
const std::string NoName = "The DNS provider couldn't find the update server; is your computer offline?\n",
                  Quiet = "Not reporting, as it's an error the user is unlikely to fix.\n",
                  Refused = "The Ostrel update server is online, but not servicing HTTP requests.\n";
std::string Ok(const std::string& body) { return "HTTP/1.1 200 OK\r\nServer: x\r\n\r\n" + body; }

// A badge as the fake logs it: its fill, then each line (text, left, top) in the notice's font and colour.
std::string Badge(const char* fill, const char* colour, std::vector<std::tuple<std::string, int, int>> lines)
{
    std::string calls = "#1.Fill(" + std::string(fill) + ") ";
    for (const auto& [text, left, top] : lines)
        calls += "#1.DrawText(\"" + text + "\"," + std::to_string(text.size()) + ",{" + std::to_string(left) +
                 "," + std::to_string(top) + ",32,32},800," + colour +
                 ",font(8,0,0,0,400,0,0,0,0,0,0,4,48,Small Fonts),1,0,0,1,0,0,8) ";
    return calls;
}
const std::string Major = Badge("1,8,29,19,505050", "0000F0",
                                {{"MAJOR", 2, 7}, {"UPDATE", 1, 13}, {"NEEDED", 2, 19}}),
                  Minor = Badge("1,18,30,13,3C3C3C", "B4B400", {{"UPDATE", 1, 17}, {"NEEDED", 2, 23}}),
                  Reinstall = Badge("1,18,30,13,3C3C3C", "0000B4", {{"REINSTL", 1, 17}, {"NEEDED", 2, 23}});
// Before the badge, on an icon 32 pixels wide with an alpha channel.
const std::string Painting = "#1.GetWidth #1.GetHeight #1.HasAlpha #1.LockAlpha #1.UnlockAlpha ";
std::string Log() { return Polvane::UpdateLog.str(); }
// A check started as the editor starts it, from the shared state as at load.
ULONGLONG started;
void Start()
{
    Polvane::UpdateState = O::Running;
    Polvane::UpdateLog.str("");
    Polvane::UpdateText = Polvane::UpdateURL = L"";
    started = GetTickCount64();
    Polvane::StartUpdateCheck();
}

// Waits for the worker's end, reading as the main thread reads: whenever the state under the lock is an
// outcome, its text and the log are final. How long the check took, in milliseconds.
ULONGLONG Finish()
{
    std::set<std::pair<std::size_t, std::size_t>> seen;
    while (WaitForSingleObject(Polvane::UpdateThreadHandle, 0) == WAIT_TIMEOUT &&
           GetTickCount64() < started + 30000) {
        Polvane::AcquireUpdateLock();
        if (Polvane::UpdateState != O::Running)
            seen.emplace(Polvane::UpdateText.size(), Polvane::UpdateLog.str().size());
        Polvane::ReleaseUpdateLock();
    }
    for (const auto& sizes : seen)
        EXPECT_EQ(sizes, std::make_pair(Polvane::UpdateText.size(), Log().size())) << "published in parts";
    CloseHandle(std::exchange(Polvane::UpdateThreadHandle, nullptr));
    EXPECT_FALSE(Polvane::UpdateLock.load()) << "the worker ended holding the lock";
    return GetTickCount64() - started;
}

// The library's folder is a copy of a small system library in ...\Extensions\Unicode\, so that the settings
// file is read from ...\Extensions\. The state object is built as a built application builds it (no worker is
// started), then the editor's main thread is this one. Every box shown must be examined.
class Update : public testing::Test {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Lib.dll"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder boxes;
    Host::SeamTable savedSeam = Host::Seam;
    Host::SurfaceFunctions savedSurfaces = Host::Surfaces;
    TestHost::FakeSurfaces fake;
    std::unique_ptr<Tovik::SDK> state;
    WSADATA data;
    const int started = WSAStartup(MAKEWORD(2, 2), &data);

    Update()
    {
        Host::Seam.gethostbyname = AnswerLookup;
        Host::Seam.connect = ConnectToServer;
        Host::Seam.ShellExecuteW = RecordOpen;
        Build();
    }
    ~Update() override
    {
        state.reset();
        Host::Seam = savedSeam;
        Host::Surfaces = savedSurfaces;
        Polvane::UpdateState = O::Running; // no notice for whatever display comes next in this process
        WSACleanup();
        EXPECT_EQ(Seen(), Texts{}) << "boxes not examined";
    }
    void Settings(const std::string& text) const { tree.Write(L"Extensions\\Polvane.ini", text); }
    // The boxes since the last call, each title|text|style in hexadecimal, "|unowned" added without an owner.
    Texts Seen()
    {
        Texts seen;
        for (const auto& box : boxes.boxes) {
            wchar_t style[16];
            swprintf(style, 16, L"|%X", box.style);
            seen.push_back(box.title + L"|" + box.text + style + (box.owner ? L"" : L"|unowned"));
        }
        boxes.boxes.clear();
        return seen;
    }
    void Build()
    {
        Host::Seam.FindSurfaceLibrary = FindFake;
        state.reset(); // first: the language it chose points into its tree
        state.reset(InProcess::BuildState(R"({"Identifier": "N", "Dependencies": "", "L": {"About": {}}})"));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        Polvane::OwnerWindow = GetDesktopWindow();
        fake.Reset();
    }
    // The icon remade at that size with an alpha channel, an outcome not shown yet, then two editor displays.
    void Notify(O outcome, const std::wstring& text, const std::wstring& page = {},
                const std::string& log = {}, std::int32_t width = 32, std::int32_t height = 32)
    {
        HostSurface* prototype = nullptr;
        Host::Surfaces.GetSurfacePrototype(&prototype, 32, 1, 3);
        state->Icon->Create(width, height, prototype);
        state->Icon->CreateAlpha();
        fake.Reset();
        Polvane::UpdateNoticeShown = false;
        opened.clear();
        Polvane::UpdateLog.str(log);
        Polvane::UpdateText = text;
        Polvane::UpdateURL = page;
        Polvane::UpdateState = outcome;
        ::mV mv{};
        mv.editorWindowId = 7;
        RECT place = {10, 20, 42, 52};
        EditorDisplay(&mv, 0, 0, nullptr, &place);
        EditorDisplay(&mv, 0, 0, nullptr, &place);
    }
};

// What two displays of the object draw, around what the first paints into the icon.
std::string Displays(const std::string& painted)
{
    const std::string surface = "GetEditorSurface(7,0) ", drawn = "#1.Blit(editor,10,20,1,0,0,0) ";
    return surface + painted + drawn + surface + drawn;
}

} // namespace

TEST_F(Update, SendsItsRequestAndSortsTheReplyByItsKindOrRejectsIt)
{
    // The last reply comes in pieces cut inside the status line, the header end and a two-byte character.
    std::string body = "https://example.com/get\nMajor Update:\n";
    for (int i = 0; i < 400; ++i)
        body += "line " + std::to_string(i) + " \xC3\xA9\n";
    const std::string raw = Ok(body), lower = "http/1.1 200 OK\r\n\r\nNone";
    const std::size_t header = raw.find("\r\n\r\n") + 2, accent = raw.find("\xC3\xA9", 1500) + 1;
    const struct {
        std::vector<std::string> reply;
        O outcome;
        std::string expected; // the text, or for an error what follows the reply in the log
    } cases[] = {
        {{Ok("Reinstall Needed:\nplease")}, O::ReinstallNeeded, "please"},
        {{Ok("reinstall needed:\nNone")}, O::ReinstallNeeded, "None"},
        {{Ok("Ext Dev Error:\n" + std::string(60000, 'x'))}, O::ExtDevError, std::string(60000, 'x')},
        // The longest reply taken: 65536 bytes in all.
        {{Ok("Ext Dev Error:\n" + std::string(65536 - Ok("Ext Dev Error:\n").size(), 'y'))},
         O::ExtDevError,
         std::string(65536 - Ok("Ext Dev Error:\n").size(), 'y')},
        {{Ok("SDK Update:\nb20") + std::string(1, '\0') + "\r\nafter the NUL"}, O::SDKUpdate, "b20"},
        {{Ok("Minor Update:\nna\xC3\xAFve \xE2\x9C\x93")}, O::MinorUpdate, "na\xC3\xAFve \xE2\x9C\x93"},
        {{"HTTP/1.1 404 Not Found\r\n\r\nNone"}, O::Error, "HTTP error  404 Not Found"},
        {{"HTTP/1.1 20\nx"}, O::Error, "HTTP error  20"},
        {{lower}, O::Error, "Unexpected non-http response:\n" + lower},
        {{"HTTP/1.0"}, O::Error, "End of first line not found. Full raw (non-http) response:\nHTTP/1.0"},
        {{"HTTP/1.1 200 OK\n\nNone"}, O::Error, "Malformed HTTP response; end of HTTP header not found."},
        {{Ok("None\r\n")}, O::Error, "CR not permitted in update page response.\nNone\r\n"},
        {{raw.substr(0, 5), raw.substr(5, header - 5), raw.substr(header, accent - header),
          raw.substr(accent)},
         O::MajorUpdate,
         body.substr(body.find("Update:\n") + 8)},
    };
    for (const auto& c : cases) {
        Server server;
        Start();
        EXPECT_EQ(server.Serve(c.reply, 50),
                  RequestLine + " HTTP/1.1\r\nHost: update.morvalex.invalid\r\nConnection: close\r\n\r\n" +
                      '\0');
        Finish();
        const std::string reply = std::accumulate(c.reply.begin(), c.reply.end(), std::string());
        EXPECT_EQ(Polvane::UpdateState, c.outcome) << reply;
        if (c.outcome == O::Error)
            EXPECT_EQ(Log(), LogUntilSent + reply + "\nResult concluded.\n" + c.expected) << reply;
        else
            EXPECT_EQ(Polvane::UpdateText, Polvane::UTF8ToWide(c.expected)) << reply;
    }
    EXPECT_EQ(Polvane::UpdateURL, L"https://example.com/get"); // the last reply's
}

class UpdateErrors : public Update, public testing::WithParamInterface<bool> {};
// Every failure as the worker meets it, as it ends by default and with all errors reported: a quiet error
// keeps its explanation and adds the failure's own line. Each ends within its limit, in bounded memory.
TEST_P(UpdateErrors, EndQuietlyOrWithTheirOwnLine)
{
    const bool reportAll = GetParam();
    Settings(reportAll ? "ReportAllUpdateCheckErrors = true\r\n" : "");
    // The shipped limits, then shorter ones.
    EXPECT_EQ(std::tuple(Polvane::UpdateLimits.connectMilliseconds, Polvane::UpdateLimits.replyMilliseconds,
                         Polvane::UpdateLimits.replyBytes),
              std::tuple(10000u, 30000u, 65536u));
    Polvane::UpdateLimits = {500, 1000, 65536};
    const std::string offline = "The Ostrel update server is offline.\n", recvLine = "Error with recv().",
                      dns = "DNS lookup of \"update.morvalex.invalid\" failed, error ",
                      ftp = "ftp://x.example/\nMajor Update:\nv2";
    enum Serving { None, Unanswered, Closing, Stalling };
    const struct {
        int lookupError;
        Serving serving;
        ULONGLONG least;        // how long the check takes at least; it ends within 0.8 s more
        std::string quiet, own; // the explanation of a quiet error, and the failure's own line
        std::vector<std::string> reply = {};
        DWORD pause = 0;
    } cases[] = {
        {WSANO_DATA, None, 0, NoName, dns + "11004."},
        {-1, None, 0, NoName, dns + "11004."},
        {WSAHOST_NOT_FOUND, None, 0, NoName, dns + "11001."}, // quiet as a name without an address
        {WSATRY_AGAIN, None, 0, NoName, dns + "11002."},
        {0, None, 0, Refused, "Connect failed, error number 10061."},
        {0, Unanswered, 500, offline, "Connect failed, error number 10060."},
        {0, Closing, 0, offline, "Page result was empty."},
        {0, Stalling, 1000, offline, recvLine},
        {0, Closing, 1000, offline, recvLine, std::vector<std::string>(20, "H"), 300}, // a byte at a time
        // 64 MB offered: the first 64 KiB and one receive more are read, then the worker hangs up.
        {0, Closing, 0, "", LogUntilSent + "Update page response longer than 65536 bytes.",
         std::vector<std::string>(64, std::string(1 << 20, 'x'))},
        {0, Closing, 0, "", LogUntilSent + "Update page response longer than 65536 bytes.",
         std::vector<std::string>{std::string(65537, 'x')}}, // one byte too many
        {0, Closing, 0, "Page's response was unreadable.\n", "Can't interpret type of page:\n" + ftp,
         std::vector<std::string>{Ok(ftp)}},
    };
    for (const auto& c : cases) {
        const auto label = &c - cases;
        lookupError = c.lookupError;
        Server server;
        serverAddress.sin_port = c.serving == None ? 0 : serverAddress.sin_port;
        if (c.serving == Unanswered)
            server.FillQueue();
        PROCESS_MEMORY_COUNTERS before = {}, after = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
        Start();
        if (c.serving == Closing || c.serving == Stalling)
            server.Serve(c.reply, c.pause, c.serving == Stalling);
        const ULONGLONG took = Finish();
        GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
        EXPECT_TRUE(took >= c.least && took < c.least + 800) << label << ": " << took << " ms";
        EXPECT_LT(after.PeakWorkingSetSize - before.PeakWorkingSetSize, 8u << 20) << label << ": peak memory";
        const bool reported = reportAll || c.quiet.empty();
        EXPECT_EQ(std::pair(Polvane::UpdateState, Log()),
                  std::pair(reported ? O::Error : O::NothingToShow, c.quiet + (reported ? c.own : Quiet)))
            << label;
    }
    // The last page's text, when reported; its ftp line is no address.
    EXPECT_EQ(std::pair(Polvane::UpdateText, Polvane::UpdateURL),
              std::pair(Polvane::UTF8ToWide(reportAll ? ftp : ""), std::wstring()));
}
INSTANTIATE_TEST_SUITE_P(Settings, UpdateErrors, testing::Bool());

// Name, settings file, whether the check is off.
using OptOut = std::tuple<const char*, const char*, bool>;
class UpdateOptOut : public Update, public testing::WithParamInterface<OptOut> {};
// The product's name or "*" in the list switches the check off: blanks beside a ";" are no part of a name,
// any other blank or a tab is, and case matters. A check that runs is refused here.
TEST_P(UpdateOptOut, ByTheProductsNameOrAll)
{
    Settings(std::get<1>(GetParam()));
    lookupError = 0;
    serverAddress.sin_port = 0;
    Start();
    Finish();
    EXPECT_EQ(std::pair(Polvane::UpdateState, Log()),
              std::get<2>(GetParam()) ? std::pair(O::Disabled, std::string("Update check was disabled."))
                                      : std::pair(O::NothingToShow, Refused + Quiet));
}
INSTANTIATE_TEST_SUITE_P(
    Lists, UpdateOptOut,
    testing::Values(OptOut{"BlanksAroundASemicolon", "DisableUpdateCheckFor=Other ; Morvalex\r\n", true},
                    OptOut{"SeveralBlanks", "DisableUpdateCheckFor = Other;  Morvalex  ;Third\n", true},
                    OptOut{"StarBeforeABlank", "DisableUpdateCheckFor=* ;Other", true},
                    OptOut{"CaseAndInnerBlanks", "DisableUpdateCheckFor=morvalex;Mor valex;**", false},
                    OptOut{"TabAndLongerNames", "DisableUpdateCheckFor=\tMorvalex;Morvalex2;xMorvalex",
                           false},
                    OptOut{"NoSuchKey", "Other=Morvalex", false}),
    [](const auto& info) { return std::string(std::get<0>(info.param)); });

namespace {

// Failing socket steps, and the sockets library's release counted on its way to the real one.
int WINAPI FailStartup(WORD, LPWSADATA) { return WSASYSNOTREADY; }
SOCKET WINAPI FailSocket(int, int, int) { return WSASetLastError(WSAEMFILE), INVALID_SOCKET; }
int WINAPI FailSend(SOCKET, const char*, int, int) { return WSASetLastError(WSAECONNRESET), SOCKET_ERROR; }
int cleanups = 0;
int WINAPI CountCleanup()
{
    static const auto cleanup = reinterpret_cast<int(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ws2_32.dll"), "WSACleanup")));
    return ++cleanups, cleanup();
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD)
{
    return SetLastError(ERROR_NOT_ENOUGH_MEMORY), nullptr;
}

// Debugger output that throws for its first calls, then records.
int throwsLeft = 0;
std::vector<std::string> debugged;
void WINAPI ThrowingDebugOutput(LPCSTR text)
{
    if (throwsLeft-- > 0)
        throw std::bad_alloc();
    debugged.push_back(text);
}

} // namespace

// A socket step that fails ends the check with the log so far and its own line, reported whatever the
// settings say; the sockets library is released when it was started, once.
TEST_F(Update, AFailingSocketStepIsReportedWithTheLogSoFar)
{
    const struct {
        const char* step;
        void* failing;
        std::string log;
        int cleanups;
    } cases[] = {
        {"WSAStartup", reinterpret_cast<void*>(FailStartup), "WSAStartup failed.\n", 0},
        {"socket", reinterpret_cast<void*>(FailSocket), "socket() failed. Error 10024.\n", 1},
        {"send", reinterpret_cast<void*>(FailSend), LogUntilSend + "Send failed, error 10054.", 1},
    };
    for (const auto& c : cases) {
        Server server; // listening, before socket() fails
        cleanups = 0;
        TestHost::ImportPatch failing(GetModuleHandleW(nullptr), "ws2_32.dll", c.step, c.failing),
            counting(GetModuleHandleW(nullptr), "ws2_32.dll", "WSACleanup",
                     reinterpret_cast<void*>(CountCleanup));
        Start();
        Finish();
        EXPECT_EQ(std::tuple(failing.Installed(), Polvane::UpdateState, Log(), cleanups),
                  std::tuple(true, O::Error, c.log, c.cleanups))
            << c.step;
    }
}

// Only the editor checks, and only one worker at a time: a second start is refused while the first one's
// handle is held. Without a thread of its own, the check runs on the caller's, after a box.
TEST_F(Update, OneWorkerInTheEditorOnlyOrTheCheckInPlace)
{
    lookupError = 0;
    serverAddress.sin_port = 0;
    for (const auto mode : {Polvane::MFXRunMode::BuiltEXE, Polvane::MFXRunMode::QuietLoad,
                            Polvane::MFXRunMode::RunApplication}) {
        Polvane::RunMode = mode;
        Start();
        EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr) << static_cast<int>(mode);
    }
    EXPECT_EQ(Seen(),
              Texts(3, L"Critial error - Morvalex|The update checker is running during the wrong mode.|10"));

    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    Start();
    const HANDLE first = Polvane::UpdateThreadHandle;
    try {
        Polvane::StartUpdateCheck();
        ADD_FAILURE() << "a second worker was started";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Using multiple update threads");
    }
    EXPECT_EQ(Polvane::UpdateThreadHandle, first);
    Finish();
    EXPECT_EQ(std::pair(Polvane::UpdateState, Log()), std::pair(O::NothingToShow, Refused + Quiet));

    {
        TestHost::ImportPatch noThread(GetModuleHandleW(nullptr), "kernel32.dll", "CreateThread",
                                       reinterpret_cast<void*>(NoThread));
        ASSERT_TRUE(noThread.Installed());
        Start();
    }
    // Over when the start returns.
    EXPECT_EQ(std::tuple(Polvane::UpdateThreadHandle, Polvane::UpdateState, Log()),
              std::tuple(HANDLE(nullptr), O::NothingToShow, Refused + Quiet));
    EXPECT_EQ(Seen(), Texts{L"Critial error - Morvalex|The update checker failed to start, error 8.|12010"});
}

// An exception in the worker leaves no outcome, so no notice is ever shown: the log, with the crash's line,
// goes to the debugger, unless passing it on fails too.
TEST_F(Update, AnExceptionInTheWorkerLeavesNoOutcome)
{
    Host::Seam.OutputDebugStringA = ThrowingDebugOutput;
    const std::string reply = Ok("Major Update:\nv2"),
                      log = LogUntilSent + reply + "\nResult concluded.\nCaught a crash. Aborting update.";
    for (const int throws : {1, 2}) {
        Server server;
        throwsLeft = throws;
        debugged.clear();
        Start();
        server.Serve({reply});
        Finish();
        EXPECT_EQ(std::tuple(Polvane::UpdateState, Log(), Polvane::UpdateText, debugged),
                  std::tuple(O::Running, log, std::wstring(),
                             throws == 1 ? std::vector{log} : std::vector<std::string>{}))
            << throws;
    }
}

TEST(UrlEncode, KeepsUnreservedBytesAndEncodesEveryOtherInUpperCaseHex)
{
    const std::pair<std::string, std::string> cases[] = {
        {"AZaz09-_.~", "AZaz09-_.~"},
        {"a b", "a%20b"},
        {std::string("x\0y", 3), "x%00y"},
        {",/:@[^`{}", "%2C%2F%3A%40%5B%5E%60%7B%7D"}, // the neighbours of the kept bytes
        {"\x7F\x80\xC3\xFF", "%7F%80%C3%FF"},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(Polvane::UrlEncode(text), encoded) << text;
}

// Free wakes a worker waiting for the reply, which then ends by itself as offline; only one that cannot be
// woken, in a name lookup, is ended from outside after 3 s, with no outcome.
TEST_F(Update, FreeWakesAWaitingWorkerAndEndsOnlyOneThatCannotBeWoken)
{
    for (const bool lookup : {false, true}) {
        Server server;
        if (lookup)
            Host::Seam.gethostbyname = [](const char*) WINAPI -> hostent* { return Sleep(10000), nullptr; };
        Start();
        HANDLE worker = nullptr, self = GetCurrentProcess();
        DuplicateHandle(self, Polvane::UpdateThreadHandle, self, &worker, 0, FALSE, DUPLICATE_SAME_ACCESS);
        if (!lookup)
            server.Serve({}, 0, true);
        Sleep(200);
        const ULONGLONG start = GetTickCount64(), least = lookup ? 2900 : 0;
        EXPECT_EQ(Free(nullptr), 0);
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_TRUE(waited >= least && waited < least + 1000) << lookup << ": " << waited << " ms";
        DWORD ended = WaitForSingleObject(worker, 1000), exitCode = 99;
        GetExitCodeThread(worker, &exitCode);
        CloseHandle(worker);
        EXPECT_EQ(std::tuple(ended, exitCode, Polvane::UpdateState, Polvane::UpdateThreadHandle),
                  std::tuple(WAIT_OBJECT_0, lookup ? 2u : 0u, lookup ? O::Running : O::NothingToShow,
                             HANDLE(nullptr)))
            << lookup;
    }
}

// The first display after the outcome shows it, once; the badge is painted before the icon is drawn, if the
// icon is 32 pixels wide; texts are cut to fit; only an http(s) page of at most 2,048 characters is offered.
// Only exactly "false" would hide the major update's box; only exactly "true" shows the minor update's.
TEST_F(Update, EachOutcomeShowsItsBoxAndBadgeAndOffersOnlyASaneWebPage)
{
    Settings("MsgBoxForMajorUpdate=False\nMsgBoxForMinorUpdate=true\n");
    const std::wstring
        page = L"https://e.example/",
        longPage = L"HTTP://e.example/" + std::wstring(2031, L'a'),
        error = L"Update check error - Morvalex|Error occurred while checking for extension updates:\n",
        dev = L"Update check error - Morvalex|Extension developer error occurred while checking "
              L"for extension updates:\n",
        major = L"Update notice - Morvalex|Major update for Morvalex:\nv2|12040",
        ask = L"Morvalex update notice|Major update for Morvalex:\nv2|144|unowned";
    const struct {
        O outcome;
        std::wstring text, page;
        std::string log;
        std::wstring box = {}; // empty: none
        const std::string* badge = nullptr;
        int answer = IDYES;
        std::int32_t width = 32, height = 32;
    } cases[] = {
        {O::Running, L"", page, ""}, // the worker has no outcome yet: the next display tries again
        {O::Disabled, L"", page, "Update check was disabled."},
        {O::Error, L"", page, "HTTP error  404\nna\xC3\xAFve 100%s",
         error + L"HTTP error  404\nna\u00EFve 100%s|12010"},
        {O::Error, L"", L"", std::string(10000, 'z'), error + std::wstring(3897, L'z') + L"...|12010"},
        {O::ExtDevError, L"bad build %d", L"", "", dev + L"bad build %d|12010"},
        {O::ExtDevError, std::wstring(3900, L'x'), L"", "", dev + std::wstring(3900, L'x') + L"|12010"},
        // Cut to fit, but not between the halves of a surrogate pair.
        {O::ExtDevError, std::wstring(3896, L'x') + L"\U0001F600tail", L"", "",
         dev + std::wstring(3896, L'x') + L"...|12010"},
        {O::SDKUpdate, L"v2", page, "", L"SDK update notice - Morvalex|SDK update for Morvalex:\nv2|12030"},
        {O::MajorUpdate, L"v2", L"", "", major, &Major},
        {O::MajorUpdate, L"v2", page + L"get?x=1&y=%20", "", ask, &Major, IDNO},
        {O::MajorUpdate, L"v2", longPage, "", ask, &Major}, // 2,048 characters
        {O::MajorUpdate, L"v2", longPage + L"a", "", major, &Major},
        {O::MajorUpdate, L"v2", L"ftp://e.example/", "", major, &Major},
        {O::MinorUpdate, L"v1.1", L"", "", L"update notice - Morvalex|Minor update for Morvalex:\nv1.1|12040",
         &Minor},
        {O::MinorUpdate, L"v1.1", page, "",
         L"Morvalex update notice |Minor update for Morvalex:\nv1.1|144|unowned", &Minor},
        {O::ReinstallNeeded, L"why?", L"", "",
         L"Reinstall needed - Morvalex|Reinstalled needed for Morvalex:\nwhy?|12040", &Reinstall},
        {O::ReinstallNeeded, L"why", page, "", L"", &Reinstall}, // three characters: no box
        {O::ReinstallNeeded, L"please" + std::wstring(5000, L'.'), page, "",
         L"Morvalex error|Reinstall needed for Morvalex:\nplease" + std::wstring(3891, L'.') +
             L"...|14|unowned",
         &Reinstall},
        {O::MajorUpdate, L"v2", L"", "", major, &Major, IDYES, 32, 16}, // no alpha written below the last row
        {O::MajorUpdate, L"v2", page, "",
         L"Polvane error - Morvalex|Morvalex's icon width is not 32. Contact the extension developer.|12010",
         nullptr, IDYES, 33},
    };
    // A worker still finishing after its outcome is out keeps its handle for Free; an ended one's is let go.
    const auto finishing = [](LPVOID release) WINAPI -> DWORD { return WaitForSingleObject(release, 20000); };
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr),
                 worker = Polvane::UpdateThreadHandle =
                     CreateThread(nullptr, 0, finishing, release, 0, nullptr);
    for (const auto& c : cases) {
        const auto label = &c - cases;
        boxes.answer = c.answer;
        Notify(c.outcome, c.text, c.page, c.log, c.width, c.height);
        EXPECT_EQ(std::pair(Polvane::UpdateNoticeShown, Polvane::UpdateThreadHandle),
                  std::pair(c.outcome != O::Running, label < 2 ? worker : nullptr))
            << label;
        if (label == 1)
            SignalObjectAndWait(release, worker, 10000, FALSE);
        EXPECT_EQ(Seen(), c.box.empty() ? Texts{} : Texts{c.box}) << label;
        const std::string painted = c.badge ? Painting + *c.badge : c.width != 32 ? "#1.GetWidth " : "";
        EXPECT_EQ(fake.Calls(), Displays(painted)) << label;
        const bool opens = c.box.find(L"|unowned") != std::wstring::npos && c.answer == IDYES;
        EXPECT_EQ(opened, opens ? Texts{L"open " + c.page + L" 1"} : Texts{}) << label;
        EXPECT_EQ(GetObjectType(fake.State().lastFont), 0u) << label << ": the font was not deleted";
    }
    CloseHandle(release);
}

// A host library without one of the badge's operations still gives the icon, which is never badged, silently.
TEST_F(Update, TheIconWithoutTheBadgesOperations)
{
    for (WORD ordinal : {436, 470, 612, 613}) {
        TestHost::MissingOrdinal missing(fake.Module(), ordinal);
        Build();
        ASSERT_NE(state->Icon, nullptr) << ordinal;
        Notify(O::MinorUpdate, L"v1.1");
        EXPECT_EQ(MakeIconEx(nullptr, static_cast<HostSurface*>(fake.NewSurface()), 0, 0, 0), 0);
        EXPECT_EQ(fake.Calls(), Displays("#1.GetWidth #1.GetHeight ") +
                                    "host.Reset host.Clone(#1,-1,-1) host.SetTransparentColor(FF00FF) ")
            << ordinal;
    }
}
