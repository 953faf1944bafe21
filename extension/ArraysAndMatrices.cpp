// Named arrays and matrices: six process-wide stores that every object of the extension shares. They
// are built empty when the library loads and live until it unloads; objects coming and going never
// touch them. Missing names, positions and components are silent and read as the type's default.
#include "Extension.h"

#include <cstddef>
#include <cwchar>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

template <typename T> using Store = std::unordered_map<std::wstring, std::vector<T>>;

Store<int> IntArrays;
Store<float> FloatArrays;
Store<std::wstring> TextArrays;
Store<int> IntMatrices;
Store<float> FloatMatrices;
Store<std::wstring> TextMatrices;

// The name's entry becomes count default values. The new vector is complete before the old entry is
// replaced, so a request beyond memory leaves the store as it was.
template <typename T> void Create(Store<T>& store, const wchar_t* name, std::size_t count)
{
    try {
        std::vector<T> values(count);
        store.insert_or_assign(name, std::move(values));
    } catch (const std::bad_alloc&) {
        // Too large for this process: the old entry stays.
    } catch (const std::length_error&) {
        // Beyond what a vector can hold: the old entry stays.
    }
}

template <typename T> void CreateArray(Store<T>& store, const wchar_t* name, int size)
{
    if (size >= 0)
        Create(store, name, static_cast<std::size_t>(size));
}

// "<base>2", "<base>3" and "<base>4" make that many components; any other kind text makes one.
template <typename T>
void CreateMatrix(Store<T>& store, const wchar_t* name, const wchar_t* kind, const std::wstring& base)
{
    std::size_t size = 1;
    for (std::size_t n = 2; n <= 4; ++n) {
        if (kind == base + std::to_wstring(n))
            size = n;
    }
    Create(store, name, size);
}

// The element at index of the name's entry, or null when the name or the index is not there.
template <typename T> T* Element(Store<T>& store, const wchar_t* name, int index)
{
    auto found = store.find(name);
    if (found == store.end() || index < 0 || static_cast<std::size_t>(index) >= found->second.size())
        return nullptr;
    return &found->second[static_cast<std::size_t>(index)];
}

// The element itself, not a copy: a long text reaches the host's string space in one copy.
template <typename T> const T& Read(Store<T>& store, const wchar_t* name, int index)
{
    static const T none{};
    const T* element = Element(store, name, index);
    return element ? *element : none;
}

template <typename T, typename V> void Change(Store<T>& store, const wchar_t* name, int index, V value)
{
    if (T* element = Element(store, name, index))
        *element = value;
}

// The name's entry becomes exactly the values. They are all copied before the entry is touched, so a
// copy that fails for want of memory leaves the old entry whole.
template <typename T, typename... V> void Overwrite(Store<T>& store, const wchar_t* name, V... values)
{
    std::vector<T> entry;
    entry.reserve(sizeof...(values));
    (entry.emplace_back(values), ...);
    store.insert_or_assign(name, std::move(entry));
}

// Components X, Y, Z and W are elements 0 to 3; any other text addresses none (-1).
int ComponentIndex(const wchar_t* component)
{
    static const wchar_t* const names[] = {L"X", L"Y", L"Z", L"W"};
    for (int i = 0; i < 4; ++i) {
        if (std::wcscmp(component, names[i]) == 0)
            return i;
    }
    return -1;
}

} // namespace

// Arrays

void Extension::CreateIntegerArray(const wchar_t* name, int size) { CreateArray(IntArrays, name, size); }
void Extension::CreateFloatArray(const wchar_t* name, int size) { CreateArray(FloatArrays, name, size); }
void Extension::CreateTextArray(const wchar_t* name, int size) { CreateArray(TextArrays, name, size); }

void Extension::RemoveIntegerArray(const wchar_t* name) { IntArrays.erase(name); }
void Extension::RemoveFloatArray(const wchar_t* name) { FloatArrays.erase(name); }
void Extension::RemoveTextArray(const wchar_t* name) { TextArrays.erase(name); }

void Extension::ChangeIntegerArrayValue(const wchar_t* name, int pos, int value)
{
    Change(IntArrays, name, pos, value);
}

void Extension::ChangeFloatArrayValue(const wchar_t* name, int pos, float value)
{
    Change(FloatArrays, name, pos, value);
}

void Extension::ChangeTextArrayValue(const wchar_t* name, int pos, const wchar_t* value)
{
    Change(TextArrays, name, pos, value);
}

int Extension::ArrReadInt(const wchar_t* name, int pos) { return Read(IntArrays, name, pos); }
float Extension::ArrReadFloat(const wchar_t* name, int pos) { return Read(FloatArrays, name, pos); }

const wchar_t* Extension::ArrReadTextStr(const wchar_t* name, int pos)
{
    return Runtime.CopyString(Read(TextArrays, name, pos).c_str());
}

// Matrices

void Extension::CreateIntegerMatrix(const wchar_t* name, const wchar_t* kind)
{
    CreateMatrix(IntMatrices, name, kind, L"int");
}

void Extension::CreateFloatMatrix(const wchar_t* name, const wchar_t* kind)
{
    CreateMatrix(FloatMatrices, name, kind, L"float");
}

void Extension::CreateTextMatrix(const wchar_t* name, const wchar_t* kind)
{
    CreateMatrix(TextMatrices, name, kind, L"text");
}

void Extension::RemoveIntegerMatrix(const wchar_t* name) { IntMatrices.erase(name); }
void Extension::RemoveFloatMatrix(const wchar_t* name) { FloatMatrices.erase(name); }
void Extension::RemoveTextMatrix(const wchar_t* name) { TextMatrices.erase(name); }

void Extension::OverwriteInt(const wchar_t* name, int x) { Overwrite(IntMatrices, name, x); }
void Extension::OverwriteInt2(const wchar_t* name, int x, int y) { Overwrite(IntMatrices, name, x, y); }

void Extension::OverwriteInt3(const wchar_t* name, int x, int y, int z)
{
    Overwrite(IntMatrices, name, x, y, z);
}

void Extension::OverwriteInt4(const wchar_t* name, int x, int y, int z, int w)
{
    Overwrite(IntMatrices, name, x, y, z, w);
}

void Extension::OverwriteFloat(const wchar_t* name, float x) { Overwrite(FloatMatrices, name, x); }

void Extension::OverwriteFloat2(const wchar_t* name, float x, float y)
{
    Overwrite(FloatMatrices, name, x, y);
}

void Extension::OverwriteFloat3(const wchar_t* name, float x, float y, float z)
{
    Overwrite(FloatMatrices, name, x, y, z);
}

void Extension::OverwriteFloat4(const wchar_t* name, float x, float y, float z, float w)
{
    Overwrite(FloatMatrices, name, x, y, z, w);
}

void Extension::OverwriteText(const wchar_t* name, const wchar_t* x) { Overwrite(TextMatrices, name, x); }

void Extension::OverwriteText2(const wchar_t* name, const wchar_t* x, const wchar_t* y)
{
    Overwrite(TextMatrices, name, x, y);
}

void Extension::OverwriteText3(const wchar_t* name, const wchar_t* x, const wchar_t* y, const wchar_t* z)
{
    Overwrite(TextMatrices, name, x, y, z);
}

void Extension::OverwriteText4(const wchar_t* name, const wchar_t* x, const wchar_t* y, const wchar_t* z,
                               const wchar_t* w)
{
    Overwrite(TextMatrices, name, x, y, z, w);
}

void Extension::ChangeIntegerMatrixValue(const wchar_t* name, const wchar_t* component, int value)
{
    Change(IntMatrices, name, ComponentIndex(component), value);
}

void Extension::ChangeFloatMatrixValue(const wchar_t* name, const wchar_t* component, float value)
{
    Change(FloatMatrices, name, ComponentIndex(component), value);
}

void Extension::ChangeTextMatrixValue(const wchar_t* name, const wchar_t* component, const wchar_t* value)
{
    Change(TextMatrices, name, ComponentIndex(component), value);
}

int Extension::MtxReadInt(const wchar_t* name, const wchar_t* component)
{
    return Read(IntMatrices, name, ComponentIndex(component));
}

float Extension::MtxReadFloat(const wchar_t* name, const wchar_t* component)
{
    return Read(FloatMatrices, name, ComponentIndex(component));
}

const wchar_t* Extension::MtxReadTextStr(const wchar_t* name, const wchar_t* component)
{
    return Runtime.CopyString(Read(TextMatrices, name, ComponentIndex(component)).c_str());
}
