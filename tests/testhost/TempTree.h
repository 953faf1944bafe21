// A folder tree of its own for one test, removed at the end: the host's folder layouts are made real by
// copying files where the host would have them.
#pragma once

#include <filesystem>
#include <string>

namespace TestHost {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The path of a file or folder inside the tree.
    std::filesystem::path Path(const std::wstring& relative) const { return root / relative; }
    // Writes bytes to a file of the tree, creating its folders.
    std::filesystem::path Write(const std::wstring& relative, const std::string& bytes) const;
    // Copies a file into the tree, creating its folders.
    std::filesystem::path Copy(const std::filesystem::path& from, const std::wstring& relative) const;
    void Remove(const std::wstring& relative) const { std::filesystem::remove(Path(relative)); }

private:
    std::filesystem::path root;
};

// The folder of the build: the library, and the test programs under tests\.
std::filesystem::path BuildFolder();

} // namespace TestHost
