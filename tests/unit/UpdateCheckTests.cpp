// The update check worker against a server of the test's own on 127.0.0.1: the name lookup is answered
// through the seam and the connection to port 80 is led to that server. The settings are read once per
// process, so a case that writes them expects to be the first to ask (ctest runs each case alone).
#include "Lib/Shared/Host/Seam.h"

#include "InProcess.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using Polvane::UpdateOutcome;

namespace {

// Every case of this program that builds the state object in the editor starts the worker: unless a
// case answers the lookup itself, it fails at once, so nothing ever leaves the machine.
hostent* WINAPI NoSuchName(const char*)
{
    WSASetLastError(WSANO_DATA);
    return nullptr;
}
struct LookupFailsByDefault {
    LookupFailsByDefault() { Host::Seam.gethostbyname = NoSuchName; }
} lookupFailsByDefault;

sockaddr_in Loopback(unsigned short port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool Readable(SOCKET socket, long milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval limit = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) == 1;
}

// One connection on 127.0.0.1: records every byte the worker sends and answers with scripted chunks,
// each after a pause. Every wait is bounded, so a faulty worker fails a case instead of hanging it.
class Responder {
public:
    enum class Ending {
        Close, // closes its sending side, then reads until the worker closes
        Stall, // keeps the connection open until the responder is destroyed
    };

    // Not accepting: the listener's queue is filled up first, so a new connection is never taken up.
    explicit Responder(std::vector<std::string> chunks, DWORD pause = 0, Ending ending = Ending::Close,
                       bool accepting = true)
        : chunks(std::move(chunks)), pause(pause), ending(ending),
          release(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = Loopback(0);
        int length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener, accepting ? 1 : 0) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no loopback listener");
        port = ntohs(address.sin_port);
        if (accepting) {
            thread = std::thread(&Responder::Serve, this);
            return;
        }
        for (SOCKET& filler : fillers) {
            filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(filler, FIONBIO, &nonBlocking);
            connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }
        Sleep(100);
    }

    ~Responder()
    {
        SetEvent(release);
        if (thread.joinable())
            thread.join();
        closesocket(listener);
        for (SOCKET filler : fillers)
            closesocket(filler);
        CloseHandle(release);
    }

    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    unsigned short Port() const { return port; }

    // Everything the worker sent, once the connection is over.
    const std::string& Received()
    {
        if (thread.joinable())
            thread.join();
        return received;
    }

private:
    bool ReadOnce(SOCKET client)
    {
        char buffer[4096];
        if (!Readable(client, 10000))
            return false;
        const int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        received.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    // The request ends with its empty line and the NUL byte after it.
    bool RequestComplete() const
    {
        const std::size_t end = received.find("\r\n\r\n");
        return end != std::string::npos && received.size() > end + 4;
    }

    void Serve()
    {
        if (!Readable(listener, 10000))
            return;
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        while (!RequestComplete() && ReadOnce(client))
            ;
        bool open = true;
        for (std::size_t i = 0; open && i < chunks.size(); ++i) {
            Sleep(pause);
            // The worker may hang up before the end: nothing more is sent then.
            open = send(client, chunks[i].data(), static_cast<int>(chunks[i].size()), 0) ==
                   static_cast<int>(chunks[i].size());
        }
        if (ending == Ending::Stall) {
            WaitForSingleObject(release, 20000);
        } else {
            shutdown(client, SD_SEND);
            while (ReadOnce(client))
                ;
        }
        closesocket(client);
    }

    std::vector<std::string> chunks;
    DWORD pause;
    Ending ending;
    HANDLE release;
    SOCKET listener;
    SOCKET fillers[3] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
    unsigned short port = 0;
    std::thread thread;
    std::string received;
};

// What the worker asked for, and how the fakes answer. Written by the worker, read after it ended.
std::vector<std::string> lookups;
int lookupError = 0; // 0: answer with the two addresses below
char firstAddress[4] = {127, 0, 0, 7};
char secondAddress[4] = {127, 0, 0, 9};
char* addressList[] = {firstAddress, secondAddress, nullptr};
char* noAddresses[] = {nullptr};
char answerName[] = "update-server";
char* noAliases[] = {nullptr};
hostent answer = {answerName, noAliases, AF_INET, 4, addressList};

std::vector<sockaddr_in> connections;
unsigned short responderPort = 0;
bool pretendConnected = false;

std::vector<std::string> debugOutput;
bool debugOutputThrowsOnce = false;

hostent* WINAPI AnswerLookup(const char* name)
{
    lookups.push_back(name);
    if (lookupError != 0) {
        WSASetLastError(lookupError);
        return nullptr;
    }
    return &answer;
}

int WINAPI ConnectToResponder(SOCKET socket, const sockaddr* address, int length)
{
    sockaddr_in asked = {};
    std::memcpy(&asked, address, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof asked));
    connections.push_back(asked);
    if (pretendConnected)
        return 0;
    const sockaddr_in local = Loopback(responderPort);
    return connect(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local);
}

void WINAPI RecordDebugOutput(LPCSTR text)
{
    if (debugOutputThrowsOnce) {
        debugOutputThrowsOnce = false;
        throw std::bad_alloc();
    }
    debugOutput.push_back(text);
}

const std::string RequestLine = "GET /storage/polvane_vercheck.php?ext=Morvalex&build=1&sdkBuild=19"
                                "&projConfig=Debug%20Unicode&tagRes=disabled&tagReg=disabled";

std::string ExpectedRequest()
{
    return RequestLine + " HTTP/1.1\r\nHost: " + Polvane::UpdateServerName + "\r\nConnection: close\r\n\r\n" +
           std::string(1, '\0');
}

const std::string LogUntilSent =
    "Connecting...\nConnected to update server.\n"
    "Sent update request for ext \"Morvalex\", encoded as \"Morvalex\", build 1, "
    "SDK build 19, config Debug%20Unicode, tagging res \"disabled\", reg \"disabled\".\n" +
    RequestLine + "\n";

std::string LogOfExchange(const std::string& raw)
{
    return LogUntilSent + "Result follows:\n" + raw + "\nResult concluded.\n";
}

const std::string QuietLine = "Not reporting, as it's an error the user is unlikely to fix.\n";

std::string Ok(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

// The library's folder is a copy of a small system library in ...\Extensions\Unicode\, so that the
// settings file is read from ...\Extensions\.
class UpdateCheck : public testing::Test {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Lib.dll"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    InProcess::BoxRecorder boxes;

    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        Host::Seam.gethostbyname = AnswerLookup;
        Host::Seam.connect = ConnectToResponder;
        Host::Seam.OutputDebugStringA = RecordDebugOutput;
        Reset();
    }

    void TearDown() override
    {
        Host::Seam.gethostbyname = savedLookup;
        Host::Seam.connect = savedConnect;
        Host::Seam.OutputDebugStringA = savedDebugOutput;
        WSACleanup();
    }

    void Settings(const std::string& text) const { tree.Write(L"Extensions\\Polvane.ini", text); }

    // Shared state as at load, for the next check of the same process.
    static void Reset()
    {
        Polvane::UpdateState = UpdateOutcome::Running;
        Polvane::UpdateLog.str(std::string());
        Polvane::UpdateLog.clear();
        Polvane::UpdateText.clear();
        Polvane::UpdateURL.clear();
        Polvane::UpdateThreadHandle = nullptr;
        lookups.clear();
        lookupError = 0;
        connections.clear();
        responderPort = 0;
        pretendConnected = false;
        debugOutput.clear();
        debugOutputThrowsOnce = false;
    }

    // Starts the check as the editor does and waits for the worker's end.
    static void RunCheck()
    {
        Polvane::StartUpdateCheck();
        ASSERT_NE(Polvane::UpdateThreadHandle, nullptr);
        ASSERT_EQ(WaitForSingleObject(Polvane::UpdateThreadHandle, 30000), WAIT_OBJECT_0);
        CloseHandle(Polvane::UpdateThreadHandle);
        Polvane::UpdateThreadHandle = nullptr;
        EXPECT_FALSE(Polvane::UpdateLock.load()) << "the worker ended holding the lock";
    }

    // One check against a responder with that reply; returns what the worker sent.
    static std::string CheckWithReply(const std::vector<std::string>& chunks, DWORD pause = 0,
                                      Responder::Ending ending = Responder::Ending::Close)
    {
        Reset();
        Responder responder(chunks, pause, ending);
        responderPort = responder.Port();
        RunCheck();
        return responder.Received();
    }

    static std::string Log() { return Polvane::UpdateLog.str(); }

private:
    decltype(Host::Seam.gethostbyname) savedLookup = Host::Seam.gethostbyname;
    decltype(Host::Seam.connect) savedConnect = Host::Seam.connect;
    decltype(Host::Seam.OutputDebugStringA) savedDebugOutput = Host::Seam.OutputDebugStringA;
};

// A port on the loopback address where nobody listens.
unsigned short ClosedPort()
{
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(probe);
    return ntohs(address.sin_port);
}

} // namespace

TEST(UrlEncode, KeepsUnreservedBytesAndEncodesEveryOtherInUpperCaseHex)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Morvalex", "Morvalex"},
        {"AZaz09-_.~", "AZaz09-_.~"},
        {"a b", "a%20b"},
        {"\xC3\xA9", "%C3%A9"},
        {std::string("x\0y", 3), "x%00y"},
        {"/?&=%+", "%2F%3F%26%3D%25%2B"},
        // the neighbours of each kept range
        {"@[`{/:", "%40%5B%60%7B%2F%3A"},
        {"\x7F\x80\xFF", "%7F%80%FF"},
    };
    for (const auto& [text, encoded] : cases)
        EXPECT_EQ(Polvane::UrlEncode(text), encoded) << text;
}

TEST_F(UpdateCheck, SendsTheRequestToPort80OfTheFirstAddressAndReadsAMajorUpdate)
{
    const std::string body = "https://example.com/get\nMajor Update:\nVersion 2 is out.\nSee the page.";
    const std::string sent = CheckWithReply({Ok(body)});

    EXPECT_EQ(sent, ExpectedRequest());
    ASSERT_EQ(lookups.size(), 1u);
    EXPECT_EQ(lookups[0], Polvane::UpdateServerName);
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(connections[0].sin_family, AF_INET);
    EXPECT_EQ(ntohs(connections[0].sin_port), 80);
    EXPECT_EQ(std::memcmp(&connections[0].sin_addr, firstAddress, 4), 0);

    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::MajorUpdate);
    EXPECT_EQ(Polvane::UpdateText, L"Version 2 is out.\nSee the page.");
    EXPECT_EQ(Polvane::UpdateURL, L"https://example.com/get");
    const std::string exchange = LogOfExchange(Ok(body));
    EXPECT_EQ(Log(), exchange + "Completed OK. Response:\nMajor Update:\nVersion 2 is out.\nSee the page.");
    ASSERT_EQ(debugOutput.size(), 1u);
    EXPECT_EQ(debugOutput[0], exchange);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(UpdateCheck, SortsTheBodyByItsKindPrefix)
{
    struct Case {
        std::string body;
        UpdateOutcome outcome;
        std::wstring text;
        std::wstring url;
    };
    const Case cases[] = {
        {"Reinstall Needed:\nplease", UpdateOutcome::ReinstallNeeded, L"please", L""},
        {"reinstall needed:\nNone", UpdateOutcome::ReinstallNeeded, L"None", L""},
        {"None", UpdateOutcome::NothingToShow, L"None", L""},
        {"none", UpdateOutcome::NothingToShow, L"none", L""},
        {"Nonesuch\nMajor Update:\nx", UpdateOutcome::NothingToShow, L"Nonesuch\nMajor Update:\nx", L""},
        {"Ext Dev Error:\nbad build", UpdateOutcome::ExtDevError, L"bad build", L""},
        {"SDK Update:\nbuild 20", UpdateOutcome::SDKUpdate, L"build 20", L""},
        {"MAJOR UPDATE:\nv2", UpdateOutcome::MajorUpdate, L"v2", L""},
        {"Minor Update:\n", UpdateOutcome::MinorUpdate, L"", L""},
        {"Minor Update:\nna\xC3\xAFve \xE2\x9C\x93", UpdateOutcome::MinorUpdate, L"na\u00EFve \u2713", L""},
        {"HTTP://x.example/\nSDK Update:\nz", UpdateOutcome::SDKUpdate, L"z", L"HTTP://x.example/"},
        {"http://x.example/dl\nNone", UpdateOutcome::NothingToShow, L"None", L"http://x.example/dl"},
        {"ftp://x.example/\nNone", UpdateOutcome::NothingToShow, L"", L""}, // not an address line: unreadable
    };
    for (const Case& c : cases) {
        CheckWithReply({Ok(c.body)});
        EXPECT_EQ(Polvane::UpdateState, c.outcome) << c.body;
        EXPECT_EQ(Polvane::UpdateText, c.text) << c.body;
        EXPECT_EQ(Polvane::UpdateURL, c.url) << c.body;
    }
}

TEST_F(UpdateCheck, AnUnknownKindIsAQuietError)
{
    const std::string bodies[] = {"Major Update:", " None", "", "https://only.example/address"};
    for (const std::string& body : bodies) {
        CheckWithReply({Ok(body)});
        EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow) << body;
        EXPECT_EQ(Log(), "Page's response was unreadable.\n" + QuietLine) << body;
        EXPECT_EQ(Polvane::UpdateText, L"") << body;
    }
    EXPECT_EQ(Polvane::UpdateURL, L"https://only.example/address");
}

TEST_F(UpdateCheck, RepliesThatAreNotAnAcceptablePageAreErrors)
{
    struct Case {
        std::string reply;
        std::string logEnd; // what follows the exchange in the log
    };
    const Case cases[] = {
        {"HTTP/1.1 404 Not Found\r\n\r\nNone", "HTTP error  404 Not Found"},
        {"HTTP/1.1\r\n\r\nNone", "HTTP error "},
        {"HTTP/1.1 20\nx", "HTTP error  20"},
        {"HTTP/1.1 201 Created\r\n\r\nNone", "HTTP error  201 Created"},
        {"http/1.1 200 OK\r\n\r\nNone", "Unexpected non-http response:\nhttp/1.1 200 OK\r\n\r\nNone"},
        {"HTTP/1.0 200 OK\r\n\r\nNone", "Unexpected non-http response:\nHTTP/1.0 200 OK\r\n\r\nNone"},
        {"HTTP/1.1 200 OK", "End of first line not found. Full raw (non-http) response:\nHTTP/1.1 200 OK"},
        {"HTTP/1.1 200 OK\r\nServer: x\r\n", "Malformed HTTP response; end of HTTP header not found."},
        {"HTTP/1.1 200 OK\n\nNone", "Malformed HTTP response; end of HTTP header not found."},
        {Ok("Major Update:\r\nv2"), "CR not permitted in update page response.\nMajor Update:\r\nv2"},
        {Ok("https://x.example/\r\nNone"),
         "CR not permitted in update page response.\nhttps://x.example/\r\nNone"},
    };
    for (const Case& c : cases) {
        CheckWithReply({c.reply});
        EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error) << c.reply;
        EXPECT_EQ(Log(), LogOfExchange(c.reply) + c.logEnd) << c.reply;
        EXPECT_EQ(Polvane::UpdateURL, L"") << c.reply;
    }
}

TEST_F(UpdateCheck, TheReplyEndsAtItsFirstNulByte)
{
    const std::string raw = Ok("SDK Update:\nbuild 20") + std::string(1, '\0') + "\r\ngarbage";
    CheckWithReply({raw});
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::SDKUpdate);
    EXPECT_EQ(Polvane::UpdateText, L"build 20");

    // Nothing before the NUL is an empty reply: as good as an offline server.
    CheckWithReply({std::string(1, '\0') + Ok("SDK Update:\nbuild 20")});
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    EXPECT_EQ(Log(), "The Ostrel update server is offline.\n" + QuietLine);
}

TEST_F(UpdateCheck, AReplySplitAcrossReceivesIsReadWhole)
{
    // Cut inside the status line, inside the header end and inside a two-byte character, and longer
    // than the worker's receive buffer.
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line " + std::to_string(i) + " \xC3\xA9\n";
    const std::string raw = Ok("https://e.example/\nMinor Update:\n" + text);
    const std::size_t header = raw.find("\r\n\r\n");
    const std::size_t accent = raw.find("\xC3\xA9", 1500);
    const std::vector<std::string> chunks = {raw.substr(0, 5), raw.substr(5, header + 2 - 5),
                                             raw.substr(header + 2, accent + 1 - (header + 2)),
                                             raw.substr(accent + 1)};
    CheckWithReply(chunks, 50);

    std::wstring expected;
    for (int i = 0; i < 400; ++i)
        expected += L"line " + std::to_wstring(i) + L" \u00E9\n";
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::MinorUpdate);
    EXPECT_EQ(Polvane::UpdateText, expected);
    EXPECT_EQ(Polvane::UpdateURL, L"https://e.example/");
}

TEST_F(UpdateCheck, AReplyOverTheLimitIsAnErrorReadOnlyThatFar)
{
    // 64 MB offered: only the first 64 KiB and a receive's worth are read, then the worker hangs up.
    std::vector<std::string> chunks(64, std::string(1 << 20, 'x'));
    chunks[0].replace(0, 64, Ok("Minor Update:\n") + std::string(64 - Ok("Minor Update:\n").size(), 'y'));
    Responder responder(std::move(chunks));
    responderPort = responder.Port();
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    const ULONGLONG start = GetTickCount64();
    RunCheck();
    EXPECT_LT(GetTickCount64() - start, 5000u);
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    EXPECT_LT(after.PeakWorkingSetSize - before.PeakWorkingSetSize, 8u << 20) << "peak memory grew";
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    EXPECT_EQ(Log(), LogUntilSent + "Result follows:\nUpdate page response longer than 65536 bytes.");
    EXPECT_EQ(Polvane::UpdateText, L"");
}

TEST_F(UpdateCheck, TheOutcomeIsNeverSeenWithoutItsTextAndLog)
{
    Reset();
    Responder responder({Ok("Ext Dev Error:\n" + std::string(60000, 'x'))});
    responderPort = responder.Port();
    Polvane::StartUpdateCheck();
    // Read as the main thread reads: whenever the state under the lock is an outcome, the rest is final.
    std::vector<std::pair<std::size_t, std::size_t>> seen;
    while (WaitForSingleObject(Polvane::UpdateThreadHandle, 0) == WAIT_TIMEOUT) {
        Polvane::AcquireUpdateLock();
        if (Polvane::UpdateState != UpdateOutcome::Running)
            seen.emplace_back(Polvane::UpdateText.size(), Polvane::UpdateLog.str().size());
        Polvane::ReleaseUpdateLock();
    }
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::ExtDevError);
    EXPECT_EQ(Polvane::UpdateText, std::wstring(60000, L'x'));
    for (const auto& [text, log] : seen) {
        EXPECT_EQ(text, 60000u);
        EXPECT_EQ(log, Log().size());
    }
}

TEST(UpdateServer, TheBuiltLibraryNamesNoServerButOneThatCannotResolve)
{
    EXPECT_STREQ(Polvane::UpdateServerName, "update.morvalex.invalid");
    std::ifstream file(TestHost::BuiltLibraryPath().c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100000u);
    // Narrow texts as they are; wide ones by their low bytes.
    std::string wide;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide += bytes[i + 1] == 0 ? bytes[i] : '\1';
    const std::set<std::string> topLevel = {"com", "net", "org", "io", "dev", "app", "info", "invalid"};
    std::set<std::string> names;
    for (const std::string* text : {&bytes, static_cast<const std::string*>(&wide)}) {
        std::string token;
        for (const char c : *text + '\1') {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') {
                token += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                continue;
            }
            const std::size_t dot = token.rfind('.');
            if (dot != std::string::npos && dot > 0 && topLevel.count(token.substr(dot + 1)) != 0)
                names.insert(token);
            token.clear();
        }
    }
    // Reserved names that cannot be anybody's server, and the toolchain's own bug-report address.
    const auto reserved = [](const std::string& name) {
        for (const std::string end : {".invalid", ".example", "example.com", "example.org", "example.net"})
            if (name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0)
                return true;
        return name == "gcc.gnu.org";
    };
    EXPECT_EQ(names.count("update.morvalex.invalid"), 1u);
    for (const std::string& name : names)
        EXPECT_TRUE(reserved(name)) << name;
}

TEST_F(UpdateCheck, ASlowSilentOrUnreachableServerEndsTheCheckAtItsLimit)
{
    Polvane::UpdateLimits = {600, 1000, 65536};
    const std::string offline = "The Ostrel update server is offline.\n";
    struct Case {
        const char* label;
        std::vector<std::string> chunks;
        DWORD pause;
        Responder::Ending ending;
        bool accepted; // false: the connection is never taken up
    };
    const Case cases[] = {
        {"drips a byte at a time", std::vector<std::string>(20, "H"), 300, Responder::Ending::Close, true},
        {"never answers", {}, 0, Responder::Ending::Stall, true},
        {"never accepts", {}, 0, Responder::Ending::Close, false},
    };
    for (const Case& c : cases) {
        Reset();
        Responder responder(c.chunks, c.pause, c.ending, c.accepted);
        responderPort = responder.Port();
        const ULONGLONG start = GetTickCount64();
        RunCheck();
        const ULONGLONG took = GetTickCount64() - start;
        EXPECT_GE(took, c.accepted ? 1000u : 600u) << c.label;
        EXPECT_LT(took, c.accepted ? 1800u : 1400u) << c.label;
        EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow) << c.label;
        EXPECT_EQ(Log(), offline + QuietLine) << c.label;
    }
}

TEST_F(UpdateCheck, QuietNetworkErrorsLeaveNothingToShowAndOthersAreReported)
{
    // The name has no address.
    lookupError = WSANO_DATA;
    RunCheck();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    EXPECT_EQ(Log(),
              "The DNS provider couldn't find the update server; is your computer offline?\n" + QuietLine);
    EXPECT_TRUE(connections.empty());

    // An answer without any address is the same.
    Reset();
    answer.h_addr_list = noAddresses;
    RunCheck();
    answer.h_addr_list = addressList;
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    EXPECT_EQ(Log(),
              "The DNS provider couldn't find the update server; is your computer offline?\n" + QuietLine);
    EXPECT_TRUE(connections.empty());

    // Another lookup failure is reported, with only its own line.
    Reset();
    lookupError = WSAHOST_NOT_FOUND;
    RunCheck();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    EXPECT_EQ(Log(), std::string("DNS lookup of \"") + Polvane::UpdateServerName + "\" failed, error 11001.");

    // Nobody listens on the port.
    Reset();
    responderPort = ClosedPort();
    RunCheck();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    EXPECT_EQ(Log(), "The Ostrel update server is online, but not servicing HTTP requests.\n" + QuietLine);
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(ntohs(connections[0].sin_port), 80);

    // The server closes without a word.
    CheckWithReply({});
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    EXPECT_EQ(Log(), "The Ostrel update server is offline.\n" + QuietLine);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(UpdateCheck, AFailedSendIsReportedWithTheWholeLog)
{
    pretendConnected = true; // the socket was never connected, so sending fails
    RunCheck();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    const std::string log = Log();
    const std::string start = LogUntilSent + "Send failed, error ";
    ASSERT_EQ(log.substr(0, start.size()), start);
    const std::string number = log.substr(start.size(), log.size() - start.size() - 1);
    EXPECT_EQ(log.back(), '.');
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << log;
    EXPECT_GE(std::stoi(number), 10000) << log; // a sockets error number
}

TEST_F(UpdateCheck, AllErrorsAreReportedWhenTheSettingsAskForThem)
{
    Settings("ReportAllUpdateCheckErrors = true\r\n");

    lookupError = WSANO_DATA;
    RunCheck();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    EXPECT_EQ(Log(),
              std::string("The DNS provider couldn't find the update server; is your computer offline?\n"
                          "DNS lookup of \"") +
                  Polvane::UpdateServerName + "\" failed, error 11004.");

    Reset();
    responderPort = ClosedPort();
    RunCheck();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    EXPECT_EQ(Log(), "The Ostrel update server is online, but not servicing HTTP requests.\n"
                     "Connect failed, error number 10061.");

    CheckWithReply({});
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    EXPECT_EQ(Log(), "The Ostrel update server is offline.\nPage result was empty.");

    CheckWithReply({Ok("Whatever:\nthis is")});
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Error);
    EXPECT_EQ(Log(), "Page's response was unreadable.\nCan't interpret type of page:\nWhatever:\nthis is");
    EXPECT_EQ(Polvane::UpdateText, L"Whatever:\nthis is");
}

TEST_F(UpdateCheck, OnlyExactlyTrueReportsAllErrors)
{
    Settings("ReportAllUpdateCheckErrors=True\n");
    CheckWithReply({Ok("Whatever")});
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    EXPECT_EQ(Polvane::UpdateText, L"");
}

TEST_F(UpdateCheck, ErrorTriageLeavesTheLockHeldOnlyForAReport)
{
    struct Case {
        int code;
        bool report;
        std::string log;
    };
    const Case cases[] = {
        {11004, false,
         "The DNS provider couldn't find the update server; is your computer offline?\n" + QuietLine},
        {10061, false, "The Ostrel update server is online, but not servicing HTTP requests.\n" + QuietLine},
        {10060, false, "The Ostrel update server is offline.\n" + QuietLine},
        {22, false, "Page's response was unreadable.\n" + QuietLine},
        {11001, true, ""},
        {10054, true, ""},
        {0, true, ""},
    };
    for (const Case& c : cases) {
        Reset();
        Polvane::UpdateLog << "earlier lines\n";
        Polvane::UpdateLog.setstate(std::ios::failbit);
        EXPECT_EQ(Polvane::ReportUpdateError(c.code), c.report) << c.code;
        EXPECT_EQ(Polvane::UpdateLock.load(), c.report) << c.code;
        Polvane::ReleaseUpdateLock();
        EXPECT_EQ(Polvane::UpdateState, c.report ? UpdateOutcome::Error : UpdateOutcome::NothingToShow)
            << c.code;
        EXPECT_EQ(Log(), c.log) << c.code;
        EXPECT_TRUE(Polvane::UpdateLog.good()) << c.code;
    }
}

TEST_F(UpdateCheck, AnExceptionInTheWorkerLeavesNoOutcome)
{
    // The first debugger output fails while the lock is held; the handler must still get the lock.
    Reset();
    debugOutputThrowsOnce = true;
    Responder responder({Ok("Major Update:\nv2")});
    responderPort = responder.Port();
    RunCheck();
    responder.Received();
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Running);
    const std::string log = LogOfExchange(Ok("Major Update:\nv2")) + "Caught a crash. Aborting update.";
    EXPECT_EQ(Log(), log);
    ASSERT_EQ(debugOutput.size(), 1u);
    EXPECT_EQ(debugOutput[0], log);
    EXPECT_EQ(Polvane::UpdateText, L"");
}

TEST_F(UpdateCheck, StartsOnlyInTheEditorAndOnlyOnce)
{
    for (auto mode : {Polvane::MFXRunMode::BuiltEXE, Polvane::MFXRunMode::QuietLoad,
                      Polvane::MFXRunMode::RunApplication}) {
        Polvane::RunMode = mode;
        Polvane::StartUpdateCheck();
        EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr);
    }
    ASSERT_EQ(boxes.boxes.size(), 3u);
    for (const auto& box : boxes.boxes) {
        EXPECT_EQ(box.title, L"Critial error - Morvalex");
        EXPECT_EQ(box.text, L"The update checker is running during the wrong mode.");
        EXPECT_EQ(box.style & MB_ICONMASK, static_cast<unsigned>(MB_ICONERROR));
    }
    EXPECT_TRUE(lookups.empty());

    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    lookupError = WSANO_DATA;
    Polvane::StartUpdateCheck();
    const HANDLE first = Polvane::UpdateThreadHandle;
    ASSERT_NE(first, nullptr);
    try {
        Polvane::StartUpdateCheck();
        ADD_FAILURE() << "a second start did not throw";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Using multiple update threads");
    }
    EXPECT_EQ(Polvane::UpdateThreadHandle, first);
    ASSERT_EQ(WaitForSingleObject(first, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(lookups.size(), 1u);
    CloseHandle(first);
    Polvane::UpdateThreadHandle = nullptr;
}

TEST_F(UpdateCheck, TheStateObjectStartsTheCheckInTheEditorOnly)
{
    const std::string definition =
        R"({"Identifier": "ZOBU", "Dependencies": "", "Default": {"About": {"Name": "X"}}})";
    lookupError = WSANO_DATA;
    Polvane::RunMode = Polvane::MFXRunMode::QuietLoad;
    ::SDK = nullptr;
    delete new Tovik::SDK(nullptr, InProcess::ParseDefinition(definition));
    EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr);

    Polvane::RunMode = Polvane::MFXRunMode::Editor;
    ::SDK = nullptr;
    delete new Tovik::SDK(nullptr, InProcess::ParseDefinition(definition));
    ASSERT_NE(Polvane::UpdateThreadHandle, nullptr);
    ASSERT_EQ(WaitForSingleObject(Polvane::UpdateThreadHandle, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(lookups.size(), 1u);
    EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
    CloseHandle(Polvane::UpdateThreadHandle);
    Polvane::UpdateThreadHandle = nullptr;
}

TEST_F(UpdateCheck, FreeWakesAWaitingWorkerAndEndsOnlyOneThatCannotBeWoken)
{
    EXPECT_EQ(Free(nullptr), 0); // no worker: nothing to wait for

    struct Case {
        const char* label;
        bool accepting;
        bool lookupHangs;
        ULONGLONG least, most; // how long Free takes
        DWORD exitCode;        // 2: ended from outside
        UpdateOutcome state;
    };
    const Case cases[] = {
        {"waiting for the reply", true, false, 0, 1000, 0, UpdateOutcome::NothingToShow},
        {"waiting for the connection", false, false, 0, 1000, 0, UpdateOutcome::NothingToShow},
        {"stuck in the name lookup", false, true, 2900, 4000, 2, UpdateOutcome::Running},
    };
    for (const Case& c : cases) {
        Reset();
        Responder responder({}, 0, Responder::Ending::Stall, c.accepting);
        responderPort = responder.Port();
        if (c.lookupHangs)
            Host::Seam.gethostbyname = [](const char*) WINAPI -> hostent* {
                Sleep(10000);
                return nullptr;
            };
        Polvane::StartUpdateCheck();
        HANDLE worker = nullptr;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), Polvane::UpdateThreadHandle, GetCurrentProcess(), &worker,
                                    0, FALSE, DUPLICATE_SAME_ACCESS));
        Sleep(200); // the worker is waiting now
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(Free(nullptr), 0) << c.label;
        const ULONGLONG waited = GetTickCount64() - start;
        EXPECT_GE(waited, c.least) << c.label;
        EXPECT_LT(waited, c.most) << c.label;
        EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr) << c.label;
        DWORD exitCode = 99;
        EXPECT_EQ(WaitForSingleObject(worker, 1000), WAIT_OBJECT_0) << c.label;
        GetExitCodeThread(worker, &exitCode);
        CloseHandle(worker);
        EXPECT_EQ(exitCode, c.exitCode) << c.label;
        EXPECT_EQ(Polvane::UpdateState, c.state) << c.label;
    }
}

namespace {

struct OptOut {
    const char* name;
    const char* settings;
    bool disabled;
};

// ctest shows the case by this name.
void PrintTo(const OptOut& optOut, std::ostream* out) { *out << optOut.name; }

class UpdateOptOut : public UpdateCheck, public testing::WithParamInterface<OptOut> {};

} // namespace

TEST_P(UpdateOptOut, DisableUpdateCheckForNamesThisProductOrAll)
{
    Settings(GetParam().settings);
    lookupError = WSANO_DATA;
    RunCheck();
    if (GetParam().disabled) {
        EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::Disabled);
        EXPECT_EQ(Log(), "Update check was disabled.");
        EXPECT_TRUE(lookups.empty());
    } else {
        EXPECT_EQ(Polvane::UpdateState, UpdateOutcome::NothingToShow);
        EXPECT_EQ(lookups.size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, UpdateOptOut,
    testing::Values(OptOut{"BlanksAroundSemicolons", "DisableUpdateCheckFor=Other ; Morvalex\r\n", true},
                    OptOut{"SeveralBlanks", "DisableUpdateCheckFor = Other;  Morvalex  ;Third\n", true},
                    OptOut{"NameAlone", "DisableUpdateCheckFor=Morvalex", true},
                    OptOut{"StarAlone", "DisableUpdateCheckFor=*", true},
                    OptOut{"StarAfterAnother", "DisableUpdateCheckFor=Other; *", true},
                    OptOut{"LowerCaseName", "DisableUpdateCheckFor=morvalex", false},
                    OptOut{"NameInsideOthers", "DisableUpdateCheckFor=Morvalex2;xMorvalex", false},
                    OptOut{"SplitNameAndDoubleStar", "DisableUpdateCheckFor=Mor valex;**", false},
                    OptOut{"TabIsNoBlank", "DisableUpdateCheckFor=\tMorvalex", false},
                    OptOut{"NoSuchKey", "Other=Morvalex", false}),
    [](const testing::TestParamInfo<OptOut>& info) { return std::string(info.param.name); });
