#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

// Every allocation of the in-process tests carries a guard word after its end, checked when it is freed
// and, while it lives, after each test: a write one element past a buffer fails the test that made it,
// where the heap itself (whose blocks are rounded up) would not notice.
namespace {

constexpr std::uint32_t GuardWord = 0xFDFDFDFD;
struct alignas(16) Block {
    Block* prev;
    Block* next;
    std::size_t size;
};
Block live = {&live, &live, 0};
SRWLOCK lock = SRWLOCK_INIT;
std::atomic<int> damagedFrees{0};

struct Locked {
    Locked() { AcquireSRWLockExclusive(&lock); }
    ~Locked() { ReleaseSRWLockExclusive(&lock); }
};

// Where the block's guard word goes, just past its bytes.
char* GuardOf(Block* block) { return reinterpret_cast<char*>(block + 1) + block->size; }

bool Intact(Block* block) { return std::memcmp(GuardOf(block), &GuardWord, sizeof GuardWord) == 0; }

// How many live blocks pass the test.
template <typename Test> int LiveBlocks(Test test)
{
    Locked locked;
    int count = 0;
    for (Block* block = live.next; block != &live; block = block->next)
        count += test(block) ? 1 : 0;
    return count;
}

class HeapCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        EXPECT_EQ(damagedFrees.exchange(0), 0) << "blocks were written past their end before being freed";
        EXPECT_EQ(LiveBlocks([](Block* block) { return !Intact(block); }), 0)
            << "live blocks are written past their end";
        EXPECT_EQ(_heapchk(), _HEAPOK) << "the C runtime's heap is damaged";
    }
};

const bool heapCheckInstalled = (::testing::UnitTest::GetInstance()->listeners().Append(new HeapCheck), true);

InProcess::BoxRecorder* activeRecorder = nullptr;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR title, UINT style)
{
    activeRecorder->boxes.push_back({title, text, style, owner});
    return activeRecorder->answer;
}

} // namespace

void* operator new(std::size_t size)
{
    // Sizes near the top of the address space are how some tests ask for a failing allocation.
    auto* block = size > SIZE_MAX - sizeof(Block) - sizeof GuardWord
                      ? nullptr
                      : static_cast<Block*>(std::malloc(sizeof(Block) + size + sizeof GuardWord));
    if (block == nullptr)
        throw std::bad_alloc();
    block->size = size;
    std::memcpy(GuardOf(block), &GuardWord, sizeof GuardWord);
    Locked locked;
    block->prev = &live;
    block->next = live.next;
    live.next->prev = block;
    live.next = block;
    return block + 1;
}

namespace {

// Both forms of delete end here.
void Release(void* p)
{
    if (p == nullptr)
        return;
    Block* block = static_cast<Block*>(p) - 1;
    if (!Intact(block))
        ++damagedFrees;
    Locked locked;
    block->prev->next = block->next;
    block->next->prev = block->prev;
    std::free(block);
}

} // namespace

void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }

namespace InProcess {

bool IsLiveAllocation(const void* p)
{
    return LiveBlocks([p](Block* block) { return block + 1 == p; }) > 0;
}

BoxRecorder::BoxRecorder() : saved(std::exchange(Host::Seam.MessageBoxW, RecordBox))
{
    activeRecorder = this;
}

BoxRecorder::~BoxRecorder()
{
    Host::Seam.MessageBoxW = saved;
    activeRecorder = nullptr;
}

RunningAs::RunningAs(Polvane::MFXRunMode mode)
    : savedRunMode(std::exchange(Polvane::RunMode, mode)),
      savedMainThread(std::exchange(Polvane::MainThreadID, GetCurrentThreadId()))
{
}

RunningAs::~RunningAs()
{
    Polvane::RunMode = savedRunMode;
    Polvane::MainThreadID = savedMainThread;
    Polvane::OwnerWindow = savedOwner;
}

json_value* ParseDefinition(const std::string& text, const std::string& label)
{
    // The parser takes over a copy from malloc, closed by a NUL.
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    json_settings settings = {};
    char error[256] = {};
    json_value* root = json_parse_ex(&settings, copy, text.size(), error, sizeof error);
    if (root == nullptr)
        ADD_FAILURE() << label << (label.empty() ? "" : ": ") << "definition does not parse: " << error
                      << "\n" + text;
    return root;
}

Tovik::SDK* BuildState(const std::string& definition)
{
    Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
    ::SDK = nullptr;
    return new Tovik::SDK(nullptr, ParseDefinition(definition));
}

LibraryCopy::LibraryCopy(const TestHost::TempTree& tree, const std::wstring& relative)
    : Library(tree.Copy(std::filesystem::path(_wgetenv(L"SystemRoot")) / L"system32\\version.dll", relative)
                  .wstring()),
      savedModule(std::exchange(Polvane::ModuleHandle, Module()))
{
}

} // namespace InProcess
