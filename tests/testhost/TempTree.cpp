#include "TempTree.h"

#include <windows.h>

#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace TestHost {

TempTree::TempTree()
{
    // Process ids come round again, and a tree whose library is still loaded cannot be removed: a name is
    // only taken when its folder is new.
    static int count = 0;
    const std::wstring process = std::to_wstring(GetCurrentProcessId());
    do {
        root = fs::temp_directory_path() / (L"Morvalex-" + process + L"-" + std::to_wstring(++count));
    } while (!fs::create_directories(root));
}

TempTree::~TempTree()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

fs::path TempTree::Write(const std::wstring& relative, const std::string& bytes) const
{
    fs::create_directories(Path(relative).parent_path());
    std::ofstream(Path(relative), std::ios::binary) << bytes;
    return Path(relative);
}

fs::path TempTree::Copy(const fs::path& from, const std::wstring& relative) const
{
    fs::create_directories(Path(relative).parent_path());
    fs::copy_file(from, Path(relative), fs::copy_options::overwrite_existing);
    return Path(relative);
}

fs::path BuildFolder() { return fs::path(MORVALEX_BUILD_DIR).make_preferred(); }

ProcessResult RunProcess(const fs::path& program, const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    const bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, program.parent_path().c_str(), &startup, &process);
    const DWORD error = GetLastError();
    CloseHandle(writeEnd);
    ProcessResult result;
    char buffer[4096];
    DWORD read = 0;
    while (started && ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
        result.output.append(buffer, read);
    CloseHandle(readEnd);
    if (!started)
        throw std::runtime_error("CreateProcessW failed with error " + std::to_string(error));
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

} // namespace TestHost
