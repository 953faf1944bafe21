// The host simulator: loads the library as Fusion would, then plays a script of object creations and
// action, condition and expression calls through the test host, printing what the library answers.
//
// Script, one command a line; '#' lines are printed as they are, blank lines are kept:
//   runinfo                          the run information record and Initialize's result
//   create <obj> / destroy <obj>     an object instance, named for the script
//   action <obj> <id> [args]         prints nothing but what the call changed in the host
//   condition <obj> <id> [args]      prints the result
//   expression <obj> <id> [args] [-> <var>]
//                                    prints the result as integer, float or text by resultFlags,
//                                    and keeps it in <var>
//   boxes                            the message boxes recorded since the last 'boxes'
//   calls                            how often each host callback and CallFunction id was called
// Arguments: 12, -7, 0x80000001 (integers); 1.5, -0.25 (floats: with a '.'); "text"; null (a null
// text); $var (a kept result).
#include "Lib/Shared/Host/Platform.h"
#include "Library.h"
#include "Session.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using GetInfosFn = std::uint32_t(HOST_STDCALL*)(std::int32_t);

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One word of a script line; quoted texts keep their spaces and lose their quotes.
struct Token {
    std::string text;
    bool quoted;
};

std::vector<Token> Split(const std::string& line)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
        } else if (line[i] == '"') {
            std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                throw ScriptError("unterminated text");
            tokens.push_back({line.substr(i + 1, end - i - 1), true});
            i = end + 1;
        } else {
            std::size_t end = line.find_first_of(" \t\r", i);
            if (end == std::string::npos)
                end = line.size();
            tokens.push_back({line.substr(i, end - i), false});
            i = end;
        }
    }
    return tokens;
}

class Script {
public:
    explicit Script(TestHost::Session& session) : session(session) {}

    void Run(const std::vector<Token>& tokens)
    {
        const std::string& command = tokens[0].text;
        if (command == "runinfo" && tokens.size() == 1)
            RunInfo();
        else if (command == "create" && tokens.size() == 2)
            objects[tokens[1].text] = session.CreateObject();
        else if (command == "destroy" && tokens.size() == 2) {
            session.DestroyObject(Object(tokens[1].text));
            objects.erase(tokens[1].text);
        } else if (command == "action" && tokens.size() >= 3)
            session.Action(Object(tokens[1].text), Id(tokens[2]), Args(tokens, 3, tokens.size()));
        else if (command == "condition" && tokens.size() >= 3) {
            std::int32_t result =
                session.Condition(Object(tokens[1].text), Id(tokens[2]), Args(tokens, 3, tokens.size()));
            std::printf("  = %s (%d)\n", result != 0 ? "true" : "false", static_cast<int>(result));
        } else if (command == "expression" && tokens.size() >= 3)
            Expression(tokens);
        else if (command == "boxes" && tokens.size() == 1)
            PrintBoxes();
        else if (command == "calls" && tokens.size() == 1)
            Calls();
        else
            throw ScriptError("unknown command or wrong number of words");
    }

    void PrintBoxes()
    {
        auto& recorder = session.Boxes();
        if (!recorder.Installed())
            std::printf("  (the library imports no MessageBoxW: boxes cannot be seen)\n");
        if (recorder.Boxes().empty())
            std::printf("  no message box\n");
        for (const TestHost::RecordedBox& box : recorder.Boxes())
            std::printf("  box \"%s\": \"%s\" (style 0x%x)\n", Utf8(box.title).c_str(),
                        Utf8(box.text).c_str(), box.style);
        recorder.Clear();
    }

private:
    void RunInfo()
    {
        const HostRunInfo& info = session.RunInfo();
        std::printf("  Initialize = %d\n", static_cast<int>(session.InitializeResult()));
        std::printf("  conditions %u, actions %u, expressions %u\n", info.numOfConditions, info.numOfActions,
                    info.numOfExpressions);
        std::printf("  identifier \"%.4s\", version %u, EDITDATA %u bytes, flags 0x%x, priority %u\n",
                    info.identifier, info.version, info.editDataSize, static_cast<unsigned>(info.objectFlags),
                    info.windowProcPriority);
    }

    void Expression(const std::vector<Token>& tokens)
    {
        std::size_t end = tokens.size();
        std::string keep;
        if (end >= 5 && !tokens[end - 2].quoted && tokens[end - 2].text == "->") {
            keep = tokens[end - 1].text;
            end -= 2;
        }
        RUNDATA* rd = Object(tokens[1].text);
        std::int32_t result = session.Expression(rd, Id(tokens[2]), Args(tokens, 3, end));
        TestHost::Arg value = TestHost::Arg::Raw(static_cast<std::uint32_t>(result));
        if (rd->rHo.resultFlags & ResultFlagText) {
            auto text = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(value.bits));
            if (text == nullptr)
                throw ScriptError("the expression answered a null text");
            std::printf("  = \"%s\"\n", Utf8(text).c_str());
            value = TestHost::Arg(text);
        } else if (rd->rHo.resultFlags & ResultFlagFloat) {
            std::printf("  = %.9g\n", static_cast<double>(value.AsFloat()));
            value = TestHost::Arg(value.AsFloat());
        } else {
            std::printf("  = %d (0x%08x)\n", static_cast<int>(result), static_cast<unsigned>(result));
            value = TestHost::Arg(static_cast<int>(result));
        }
        if (!keep.empty())
            variables.insert_or_assign(keep, value);
    }

    void Calls()
    {
        TestHost::Host& host = session.TheHost();
        std::printf(
            "  callbacks: string space %d, first parameter %d, next parameter %d, action parameter %d\n",
            host.CallbackCount(HostCallback::GetStringSpace),
            host.CallbackCount(HostCallback::GetFirstExpressionParam),
            host.CallbackCount(HostCallback::GetNextExpressionParam),
            host.CallbackCount(HostCallback::GetActionParam));
        std::printf("  CallFunction: hardware accelerated %d, Unicode %d\n",
                    host.FunctionCount(HostFunction::IsHardwareAccelerated),
                    host.FunctionCount(HostFunction::IsUnicode));
    }

    RUNDATA* Object(const std::string& name)
    {
        auto found = objects.find(name);
        if (found == objects.end())
            throw ScriptError("no object " + name);
        return found->second;
    }

    static int Id(const Token& token)
    {
        std::size_t used = 0;
        int id = token.quoted ? -1 : std::stoi(token.text, &used);
        if (token.quoted || used != token.text.size() || id < 0)
            throw ScriptError("bad id " + token.text);
        return id;
    }

    std::vector<TestHost::Arg> Args(const std::vector<Token>& tokens, std::size_t first, std::size_t end)
    {
        std::vector<TestHost::Arg> args;
        for (std::size_t i = first; i < end; ++i)
            args.push_back(ArgOf(tokens[i]));
        return args;
    }

    TestHost::Arg ArgOf(const Token& token)
    {
        const std::string& text = token.text;
        if (token.quoted)
            return TestHost::Arg(Wide(text).c_str());
        if (text == "null")
            return TestHost::Arg(static_cast<const wchar_t*>(nullptr));
        if (!text.empty() && text[0] == '$') {
            auto found = variables.find(text.substr(1));
            if (found == variables.end())
                throw ScriptError("no kept value " + text);
            return found->second;
        }
        std::size_t used = 0;
        try {
            if (text.find('.') != std::string::npos) {
                float value = std::stof(text, &used);
                if (used == text.size())
                    return TestHost::Arg(value);
            } else {
                // Through 64 bits, so that 0x80000001 is taken as the bit pattern it names.
                long long value = std::stoll(text, &used, 0);
                if (used == text.size() && value >= INT32_MIN && value <= UINT32_MAX)
                    return TestHost::Arg(static_cast<int>(static_cast<std::uint32_t>(value)));
            }
        } catch (const std::logic_error&) {
        }
        throw ScriptError("bad argument " + text);
    }

    TestHost::Session& session;
    std::map<std::string, RUNDATA*> objects;
    std::map<std::string, TestHost::Arg> variables;
};

void PrintGetInfos(const std::wstring& path)
{
    TestHost::Library library(path);
    auto getInfos = library.Export<GetInfosFn>("GetInfos");
    for (int id : {0, 2, 6, 7, 8})
        std::printf("GetInfos(%d) = 0x%x\n", id, static_cast<unsigned>(getInfos(id)));
}

int RunScript(TestHost::Session& session, const std::wstring& path)
{
    std::ifstream file{std::filesystem::path(path)};
    if (!file) {
        std::fprintf(stderr, "hostsim: cannot read %s\n", Utf8(path).c_str());
        return 2;
    }
    Script script(session);
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<Token> tokens;
        try {
            tokens = Split(line);
            if (tokens.empty() || tokens[0].text[0] == '#') {
                std::printf("%s\n", line.c_str());
                continue;
            }
            std::printf("> %s\n", line.c_str());
            script.Run(tokens);
        } catch (const std::exception& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s:%d: %s\n", Utf8(path).c_str(), number, e.what());
            return 2;
        }
    }
    if (!session.Boxes().Boxes().empty()) {
        std::printf("# message boxes not yet shown\n");
        script.PrintBoxes();
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: hostsim <library> [script]\n");
        return 2;
    }
    try {
        PrintGetInfos(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hostsim: %s\n", e.what());
        return 1;
    }
    std::fflush(stdout);
    try {
        TestHost::Session session(argv[1]);
        if (argc < 3)
            return 0;
        return RunScript(session, argv[2]);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "hostsim: %s: the library cannot be run as an object yet\n", e.what());
        return 1;
    }
}
