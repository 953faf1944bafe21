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
    const fs::path temp = fs::temp_directory_path();
    do {
        root =
            temp / (L"Morvalex-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count));
    } while (!fs::create_directories(root));
}

TempTree::~TempTree()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

fs::path TempTree::Path(const std::wstring& relative) const { return root / relative; }

fs::path TempTree::Write(const std::wstring& relative, const std::string& bytes) const
{
    fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

fs::path TempTree::Copy(const fs::path& from, const std::wstring& relative) const
{
    fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    fs::copy_file(from, path, fs::copy_options::overwrite_existing);
    return path;
}

void TempTree::Remove(const std::wstring& relative) const { fs::remove(Path(relative)); }

ProcessResult RunProcess(const fs::path& program, const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
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
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        program.parent_path().c_str(), &startup, &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        throw std::runtime_error("CreateProcessW failed with error " + std::to_string(GetLastError()));
    }
    CloseHandle(writeEnd);
    ProcessResult result = {0, std::string()};
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
        result.output.append(buffer, read);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

fs::path BuildFolder()
{
    std::string dir = MORVALEX_BUILD_DIR;
    return fs::path(std::wstring(dir.begin(), dir.end())).make_preferred();
}

} // namespace TestHost
