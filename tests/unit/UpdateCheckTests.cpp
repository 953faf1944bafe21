// The update check worker against a server the test plays on 127.0.0.1 on its own thread: the name lookup
// is answered through the seam and the connection to port 80 is led to that server. The settings are read
// once per process, so a case that writes them expects to be the first to ask (ctest runs each alone).
#include "Lib/Shared/Host/Seam.h"

#include "InProcess.h"

#include "Lib/Shared/Polvane/TextConversion.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <numeric>
#include <set>
#include <utility>

using O = Polvane::UpdateOutcome;

namespace {

// Every case of this program that builds the state object in the editor starts the worker: unless a case
// answers the lookup itself, it fails at once, so nothing ever leaves the machine.
hostent* WINAPI NoSuchName(const char*) { return WSASetLastError(WSANO_DATA), nullptr; }
const bool lookupFailsByDefault = (Host::Seam.gethostbyname = NoSuchName) != nullptr;

// How the fakes answer, and the worker's debugger output (read once the worker has ended).
int lookupError = 0; // 0: the two addresses below; -1: an answer without an address
char firstAddress[4] = {127, 0, 0, 7}, secondAddress[4] = {127, 0, 0, 9};
char* addressList[] = {firstAddress, secondAddress, nullptr};
hostent answer = {nullptr, nullptr, AF_INET, 4, addressList};
sockaddr_in serverAddress = {AF_INET, 0, {{{127, 0, 0, 1}}}, {}}; // port 0: nobody listens
std::vector<std::string> debugOutput;

// Only the update server's name has an address.
hostent* WINAPI AnswerLookup(const char* name)
{
    const int error = std::strcmp(name, "update.morvalex.invalid") != 0 ? WSAHOST_NOT_FOUND : lookupError;
    WSASetLastError(std::max(error, 0));
    answer.h_addr_list = error < 0 ? addressList + 2 : addressList;
    return error <= 0 ? &answer : nullptr;
}
// Only port 80 of the lookup's first address leads to the server; any other makes connect fail.
int WINAPI ConnectToServer(SOCKET socket, const sockaddr* address, int length)
{
    const auto* asked = reinterpret_cast<const sockaddr_in*>(address);
    const bool right = asked->sin_family == AF_INET && ntohs(asked->sin_port) == 80 &&
                       std::memcmp(&asked->sin_addr, firstAddress, 4) == 0;
    return connect(socket, reinterpret_cast<const sockaddr*>(&serverAddress), right ? length : 0);
}
void WINAPI RecordDebugOutput(LPCSTR text) { debugOutput.push_back(text); }

// The server waits at most 10 s for anything, so that a faulty worker fails a case instead of hanging it.
bool Ready(SOCKET socket)
{
    fd_set set = {1, {socket}};
    timeval limit = {10, 0};
    return select(0, &set, nullptr, nullptr, &limit) == 1;
}
// Appends what arrives; false when nothing more does.
bool ReadOnce(SOCKET socket, std::string& received)
{
    char buffer[4096];
    const int n = Ready(socket) ? recv(socket, buffer, sizeof buffer, 0) : 0;
    received.append(buffer, std::max(n, 0));
    return n > 0;
}

// The server, played on the test's thread while the worker runs on its own. Not accepting: its queue is
// filled first, so that the worker's connection is never taken up.
struct Server {
    // The listener, the worker's connection, the queue's fillers.
    SOCKET sockets[5] = {socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET,
                         INVALID_SOCKET};
    explicit Server(bool accepting = true)
    {
        int length = sizeof serverAddress;
        serverAddress.sin_port = 0;
        bind(sockets[0], reinterpret_cast<sockaddr*>(&serverAddress), length);
        listen(sockets[0], accepting ? 1 : 0);
        getsockname(sockets[0], reinterpret_cast<sockaddr*>(&serverAddress), &length);
        for (int i = 2; !accepting && i < 5; ++i) {
            u_long nonBlocking = 1;
            ioctlsocket(sockets[i] = socket(AF_INET, SOCK_STREAM, 0), FIONBIO, &nonBlocking);
            connect(sockets[i], reinterpret_cast<const sockaddr*>(&serverAddress), length);
        }
    }
    ~Server() { std::for_each(sockets, sockets + 5, closesocket); }
    // Takes the worker's connection and answers its request with chunks, each after a pause; then closes
    // its side and reads whatever else the worker sends, or stalls. What the worker sent.
    std::string Serve(const std::vector<std::string>& chunks, DWORD pause = 0, bool stall = false)
    {
        std::string sent;
        if (Ready(sockets[0]))
            sockets[1] = accept(sockets[0], nullptr, nullptr);
        while (sent.find(std::string("\r\n\r\n", 5)) == std::string::npos && ReadOnce(sockets[1], sent))
            ; // the request ends with its empty line and a NUL byte
        for (std::size_t i = 0, open = 1; open && i < chunks.size(); ++i) {
            Sleep(pause); // a worker that hung up gets nothing more
            open = send(sockets[1], chunks[i].data(), static_cast<int>(chunks[i].size()), 0) > 0;
        }
        while (!stall && shutdown(sockets[1], SD_SEND) == 0 && ReadOnce(sockets[1], sent))
            ;
        return sent;
    }
};

const std::string RequestLine = "GET /storage/polvane_vercheck.php?ext=Morvalex&build=1&sdkBuild=19"
                                "&projConfig=Debug%20Unicode&tagRes=disabled&tagReg=disabled";
const std::string LogUntilSent = "Connecting...\nConnected to update server.\nSent update request for ext "
                                 "\"Morvalex\", encoded as \"Morvalex\", build 1, SDK build 19, config "
                                 "Debug%20Unicode, tagging res \"disabled\", reg \"disabled\".\n" +
                                 RequestLine + "\nResult follows:\n";
std::string Ok(const std::string& body) { return "HTTP/1.1 200 OK\r\nServer: x\r\n\r\n" + body; }

// The library's folder is a copy of a small system library in ...\Extensions\Unicode\, so that the
// settings file is read from ...\Extensions\.
class UpdateCheck : public testing::Test {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Lib.dll"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder boxes;
    Host::SeamTable savedSeam = Host::Seam;
    WSADATA data;
    const int started = WSAStartup(MAKEWORD(2, 2), &data);

    UpdateCheck()
    {
        Host::Seam.gethostbyname = AnswerLookup;
        Host::Seam.connect = ConnectToServer;
        Host::Seam.OutputDebugStringA = RecordDebugOutput;
    }
    ~UpdateCheck() override
    {
        Host::Seam = savedSeam;
        WSACleanup();
    }

    // A check started as the editor starts it, from the shared state as at load.
    static void Start()
    {
        Polvane::UpdateState = O::Running;
        Polvane::UpdateLog.str(std::string());
        Polvane::UpdateText.clear();
        Polvane::UpdateURL.clear();
        debugOutput.clear();
        Polvane::StartUpdateCheck();
    }
    // Waits for the worker's end, reading as the main thread reads: whenever the state under the lock is
    // an outcome, its text and the log are final. How long the worker ran, in milliseconds.
    static ULONGLONG Finish()
    {
        std::set<std::pair<std::size_t, std::size_t>> seen;
        const ULONGLONG end = GetTickCount64() + 30000;
        while (WaitForSingleObject(Polvane::UpdateThreadHandle, 0) == WAIT_TIMEOUT &&
               GetTickCount64() < end) {
            Polvane::AcquireUpdateLock();
            if (Polvane::UpdateState != O::Running)
                seen.emplace(Polvane::UpdateText.size(), Polvane::UpdateLog.str().size());
            Polvane::ReleaseUpdateLock();
        }
        for (const auto& sizes : seen)
            EXPECT_EQ(sizes, std::make_pair(Polvane::UpdateText.size(), Log().size()))
                << "published in parts";
        EXPECT_EQ(WaitForSingleObject(Polvane::UpdateThreadHandle, 0), WAIT_OBJECT_0);
        FILETIME times[4] = {};
        GetThreadTimes(Polvane::UpdateThreadHandle, &times[0], &times[1], &times[2], &times[3]);
        CloseHandle(std::exchange(Polvane::UpdateThreadHandle, nullptr));
        EXPECT_FALSE(Polvane::UpdateLock.load()) << "the worker ended holding the lock";
        const auto ms = [](FILETIME t) {
            return (ULONGLONG(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000;
        };
        return ms(times[1]) - ms(times[0]);
    }
    static std::string Log() { return Polvane::UpdateLog.str(); }
};

} // namespace

TEST(UrlEncode, KeepsUnreservedBytesAndEncodesEveryOtherInUpperCaseHex)
{
    EXPECT_EQ(Polvane::UrlEncode(std::string("AZaz09-_.~ /?&=%+@[`{:\x7F\x80\xC3\xFF\0", 27)),
              "AZaz09-_.~%20%2F%3F%26%3D%25%2B%40%5B%60%7B%3A%7F%80%C3%FF%00");
}

TEST_F(UpdateCheck, SendsItsRequestAndSortsTheReplyByItsKindOrRejectsIt)
{
    // The last reply is cut inside the status line, the header end and a two-byte character, and is longer
    // than one receive.
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
        {{Ok("Nonesuch\nMajor Update:\nx")}, O::NothingToShow, "Nonesuch\nMajor Update:\nx"},
        {{Ok("Ext Dev Error:\nbad build")}, O::ExtDevError, "bad build"},
        {{Ok("Ext Dev Error:\n" + std::string(60000, 'x'))}, O::ExtDevError, std::string(60000, 'x')},
        {{Ok("SDK Update:\nb20") + std::string(1, '\0') + "\r\nafter the NUL"}, O::SDKUpdate, "b20"},
        {{Ok("Minor Update:\nna\xC3\xAFve \xE2\x9C\x93")}, O::MinorUpdate, "na\xC3\xAFve \xE2\x9C\x93"},
        {{Ok("HTTP://x.example/\nSDK Update:\nz")}, O::SDKUpdate, "z"},
        {{Ok("ftp://x.example/\nMajor Update:\nv2")}, O::NothingToShow, ""}, // unreadable: quiet, and no text
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
        EXPECT_EQ(server.Serve(c.reply, 50), RequestLine +
                                                 " HTTP/1.1\r\nHost: update.morvalex.invalid\r\n"
                                                 "Connection: close\r\n\r\n" +
                                                 std::string(1, '\0'));
        Finish();
        const std::string reply = std::accumulate(c.reply.begin(), c.reply.end(), std::string());
        EXPECT_EQ(Polvane::UpdateState, c.outcome) << reply;
        if (c.outcome == O::Error)
            EXPECT_EQ(Log(), LogUntilSent + reply + "\nResult concluded.\n" + c.expected) << reply;
        else
            EXPECT_EQ(Polvane::UpdateText, Polvane::UTF8ToWide(c.expected)) << reply;
    }
    EXPECT_EQ(Polvane::UpdateURL, L"https://example.com/get"); // the last reply's
    EXPECT_EQ(debugOutput, std::vector<std::string>{LogUntilSent + raw + "\nResult concluded.\n"});
    EXPECT_EQ(Log(), debugOutput[0] + "Completed OK. Response:\n" + body.substr(24));
    EXPECT_TRUE(boxes.boxes.empty());
}

class UpdateErrors : public UpdateCheck, public testing::WithParamInterface<bool> {};

// Every failure as the worker meets it, as it ends by default and with all errors reported: a quiet error
// keeps its explanation and adds the failure's own line. Each ends within its limit, in bounded memory.
TEST_P(UpdateErrors, EndQuietlyOrWithTheirOwnLine)
{
    const bool reportAll = GetParam();
    tree.Write(L"Extensions\\Polvane.ini", reportAll ? "ReportAllUpdateCheckErrors = true\r\n" : "");
    Polvane::UpdateLimits = {600, 1000, 65536};
    const std::string offline = "The Ostrel update server is offline.\n", recvLine = "Error with recv().",
                      noName =
                          "The DNS provider couldn't find the update server; is your computer offline?\n",
                      refused = "The Ostrel update server is online, but not servicing HTTP requests.\n",
                      dns = "DNS lookup of \"update.morvalex.invalid\" failed, error ",
                      quietLine = "Not reporting, as it's an error the user is unlikely to fix.\n";
    enum Serving { None, Closing, Stalling, Unaccepting };
    const struct {
        int lookupError;
        Serving serving;
        std::vector<std::string> reply;
        DWORD pause;
        ULONGLONG least;        // how long the check takes at least; it ends within 0.8 s more
        std::string quiet, own; // the explanation of a quiet error, and the failure's own line
    } cases[] = {
        {WSANO_DATA, None, {}, 0, 0, noName, dns + "11004."},
        {-1, None, {}, 0, 0, noName, dns + "11004."},
        {WSAHOST_NOT_FOUND, None, {}, 0, 0, "", dns + "11001."},
        {0, None, {}, 0, 0, refused, "Connect failed, error number 10061."},
        {0, Unaccepting, {}, 0, 600, offline, "Connect failed, error number 10060."},
        {0, Closing, {}, 0, 0, offline, "Page result was empty."},
        {0, Stalling, {}, 0, 1000, offline, recvLine},
        {0, Closing, std::vector<std::string>(20, "H"), 300, 1000, offline, recvLine}, // a byte at a time
        // 64 MB offered: the first 64 KiB and one receive more are read, then the worker hangs up.
        {0, Closing, std::vector<std::string>(64, std::string(1 << 20, 'x')), 0, 0, "",
         LogUntilSent + "Update page response longer than 65536 bytes."},
        {0,
         Closing,
         {Ok("Whatever:\nthis is")},
         0,
         0,
         "Page's response was unreadable.\n",
         "Can't interpret type of page:\nWhatever:\nthis is"},
    };
    for (const auto& c : cases) {
        const std::string label = std::to_string(&c - cases);
        lookupError = c.lookupError;
        Server server(c.serving != Unaccepting);
        serverAddress.sin_port = c.serving == None ? 0 : serverAddress.sin_port;
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
        EXPECT_EQ(Polvane::UpdateState, reported ? O::Error : O::NothingToShow) << label;
        EXPECT_EQ(Log(), c.quiet + (reported ? c.own : quietLine)) << label;
    }
    EXPECT_EQ(Polvane::UpdateText, reportAll ? L"Whatever:\nthis is" : L""); // the last page's, when reported
    EXPECT_TRUE(boxes.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Settings, UpdateErrors, testing::Bool());

TEST_F(UpdateCheck, FreeWakesAWaitingWorkerAndEndsOnlyOneThatCannotBeWoken)
{
    EXPECT_EQ(Free(nullptr), 0);             // no worker: nothing to wait for
    for (const int waitingFor : {0, 1, 2}) { // the reply, the connection, a name lookup that never returns
        Server server(waitingFor == 0);
        if (waitingFor == 2)
            Host::Seam.gethostbyname = [](const char*) WINAPI -> hostent* { return Sleep(10000), nullptr; };
        Start();
        HANDLE worker = nullptr;
        const HANDLE self = GetCurrentProcess();
        DuplicateHandle(self, Polvane::UpdateThreadHandle, self, &worker, 0, FALSE, DUPLICATE_SAME_ACCESS);
        if (waitingFor == 0)
            server.Serve({}, 0, true);
        Sleep(200);
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(Free(nullptr), 0);
        const ULONGLONG waited = GetTickCount64() - start, least = waitingFor == 2 ? 2900 : 0;
        EXPECT_TRUE(waited >= least && waited < least + 1000) << waitingFor << ": " << waited << " ms";
        EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr) << waitingFor;
        DWORD exitCode = 99;
        EXPECT_EQ(WaitForSingleObject(worker, 1000), WAIT_OBJECT_0) << waitingFor;
        GetExitCodeThread(worker, &exitCode);
        CloseHandle(worker);
        // Ended by itself as offline, or from outside (2) with no outcome.
        EXPECT_EQ(exitCode, waitingFor == 2 ? 2u : 0u) << waitingFor;
        EXPECT_EQ(Polvane::UpdateState, waitingFor == 2 ? O::Running : O::NothingToShow) << waitingFor;
    }
}

TEST(UpdateServer, TheBuiltLibraryNamesNoServerButOneThatCannotResolve)
{
    std::ifstream file(TestHost::BuiltLibraryPath().c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()), name;
    ASSERT_GT(text.size(), 100000u);
    for (std::size_t i = 0, size = text.size(); i + 1 < size; i += 2) // then wide texts by their low bytes
        text += text[i + 1] == 0 ? text[i] : '\1';
    const std::set<std::string> tops = {".com", ".net", ".org", ".io", ".dev", ".app", ".info", ".invalid"};
    std::set<std::string> names;
    for (const char c : text + '\1') {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            continue;
        }
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 && tops.count(name.substr(dot)) != 0)
            names.insert(name);
        name.clear();
    }
    // Besides the update server's: a reserved example name and the toolchain's own bug-report address.
    EXPECT_EQ(names, (std::set<std::string>{"update.morvalex.invalid", "www.example.com", "gcc.gnu.org"}));
}

class UpdateOptOut : public UpdateCheck, public testing::WithParamInterface<std::pair<const char*, bool>> {};

// Only exactly "true" reports all errors: the failed lookup stays quiet here.
TEST_P(UpdateOptOut, DisableUpdateCheckForNamesThisProductOrAll)
{
    const std::string list = GetParam().first;
    tree.Write(L"Extensions\\Polvane.ini",
               "DisableUpdateCheckFor" + list + "\nReportAllUpdateCheckErrors=True\n");
    lookupError = WSANO_DATA;
    Start();
    Finish();
    EXPECT_EQ(Polvane::UpdateState, GetParam().second ? O::Disabled : O::NothingToShow);
    EXPECT_EQ(Log(), GetParam().second ? "Update check was disabled."
                                       : "The DNS provider couldn't find the update server; is your computer "
                                         "offline?\nNot reporting, as it's an error the user is unlikely to "
                                         "fix.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Lists, UpdateOptOut,
    testing::Values(std::make_pair("=Other ; Morvalex", true),
                    std::make_pair(" = Other;  Morvalex  ;Third", true), std::make_pair("=Other; *", true),
                    std::make_pair("=morvalex", false), std::make_pair("X=Morvalex", false),
                    std::make_pair("=\tMorvalex", false), std::make_pair("=Morvalex2;xMorvalex;**", false)));
