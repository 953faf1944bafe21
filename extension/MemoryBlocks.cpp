// Raw memory blocks that events allocate, read, write, copy, resize and free through 32-bit pointer
// values. The host hands us arbitrary integers, so only the start addresses this file handed out are
// accepted, and each block's size is kept so that no access ever reaches past a block's end.
#include "Extension.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <unordered_map>

static_assert(sizeof(void*) == sizeof(std::int32_t), "pointers travel to the host as 32-bit integers");

namespace {

void* AddressOf(int pointer) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(pointer)); }
int PointerOf(void* address) { return static_cast<int>(reinterpret_cast<std::uintptr_t>(address)); }

// The blocks handed out and not freed since, by pointer value, with their sizes in bytes. It owns them:
// shared by all objects, and the blocks still registered are freed when the library unloads.
class BlockRegistry {
public:
    BlockRegistry() = default;
    BlockRegistry(const BlockRegistry&) = delete;
    BlockRegistry& operator=(const BlockRegistry&) = delete;
    ~BlockRegistry()
    {
        for (const auto& block : sizes)
            std::free(AddressOf(block.first));
    }

    // The size of the block that starts at pointer, or 0 when no registered block starts there (every
    // block holds at least one byte).
    std::size_t SizeOf(int pointer) const
    {
        auto found = sizes.find(pointer);
        return found != sizes.end() ? found->second : 0;
    }

    // The block's address when pointer is registered and the block holds at least bytes bytes.
    void* Find(int pointer, std::size_t bytes) const
    {
        const std::size_t size = SizeOf(pointer);
        return size != 0 && size >= bytes ? AddressOf(pointer) : nullptr;
    }

    // A new block of size bytes (at least 1), registered; 0 when it cannot be had.
    int Allocate(std::size_t size)
    {
        void* address = std::malloc(size);
        if (!address)
            return 0;
        try {
            sizes.emplace(PointerOf(address), size);
        } catch (const std::bad_alloc&) {
            std::free(address); // the registry cannot grow: the block is not handed out
            return 0;
        }
        return PointerOf(address);
    }

    // Moves a registered block to size bytes (at least 1). 0 when pointer is not registered or the heap
    // refuses; then the old block is still allocated and registered.
    int Reallocate(int pointer, std::size_t size)
    {
        auto found = sizes.find(pointer);
        if (found == sizes.end())
            return 0;
        void* moved = std::realloc(AddressOf(pointer), size);
        if (!moved)
            return 0;
        // Re-keying the existing entry allocates nothing, so the registry cannot lose the moved block.
        auto entry = sizes.extract(found);
        entry.key() = PointerOf(moved);
        entry.mapped() = size;
        sizes.insert(std::move(entry));
        return PointerOf(moved);
    }

    // Unregisters and frees a registered block; anything else is left alone.
    void Free(int pointer)
    {
        if (sizes.erase(pointer) != 0)
            std::free(AddressOf(pointer));
    }

private:
    std::unordered_map<int, std::size_t> sizes;
};

BlockRegistry AllocatedBlocks;

// Unaligned-safe whatever the block's alignment.
template <typename T> void Write(int pointer, T value)
{
    if (void* address = AllocatedBlocks.Find(pointer, sizeof value))
        std::memcpy(address, &value, sizeof value);
}

template <typename T> T Read(int pointer)
{
    T value{};
    if (const void* address = AllocatedBlocks.Find(pointer, sizeof value))
        std::memcpy(&value, address, sizeof value);
    return value;
}

} // namespace

int Extension::PtrAllocateMemory(int size)
{
    return size < 1 ? 0 : AllocatedBlocks.Allocate(static_cast<std::size_t>(size));
}

int Extension::PtrReallocMemory(int pointer, int size)
{
    if (size < 1)
        return 0;
    if (pointer == 0)
        return AllocatedBlocks.Allocate(static_cast<std::size_t>(size));
    return AllocatedBlocks.Reallocate(pointer, static_cast<std::size_t>(size));
}

void Extension::FreeMemoryBlock(int pointer) { AllocatedBlocks.Free(pointer); }

void Extension::WriteIntegerToPointer(int pointer, int value) { Write(pointer, value); }
void Extension::WriteFloatToPointer(int pointer, float value) { Write(pointer, value); }
int Extension::PtrReadInt(int pointer) { return Read<int>(pointer); }
float Extension::PtrReadFloat(int pointer) { return Read<float>(pointer); }

namespace {

// Out of line, so that a count refused at once costs no more than its test.
[[gnu::noinline]] void CopyWithinBlocks(int source, int destination, std::size_t bytes)
{
    const void* from = AllocatedBlocks.Find(source, bytes);
    void* to = AllocatedBlocks.Find(destination, bytes);
    if (from && to)
        std::memmove(to, from, bytes); // source and destination may be the same block
}

} // namespace

void Extension::CopyBytes(int source, int destination, int count)
{
    if (count >= 0)
        CopyWithinBlocks(source, destination, static_cast<std::size_t>(count));
}

bool Extension::IsPointerValid(int pointer) { return AllocatedBlocks.SizeOf(pointer) != 0; }
bool Extension::IsPointerNull(int pointer) { return pointer == 0; }
bool Extension::IsPointerInteger(int pointer, int value) { return pointer == value; }
bool Extension::IsPointerFloat(int pointer, float value)
{
    // Stored to memory so the x87 unit cannot compare the exact integer: 16777217 must equal 16777216.0.
    volatile float converted = static_cast<float>(pointer);
    return converted == value;
}

bool Extension::IsPointerText(int pointer, const wchar_t* text)
{
    const std::size_t size = AllocatedBlocks.SizeOf(pointer);
    if (size == 0)
        return false;
    // Blocks come from malloc, so they are aligned for wide characters; the text must end inside the block.
    const auto* stored = static_cast<const wchar_t*>(AddressOf(pointer));
    if (!std::wmemchr(stored, L'\0', size / sizeof(wchar_t)))
        return false;
    return std::wcscmp(stored, text) == 0;
}
