#include "TestHost.h"

#include "FakeSurfaces.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <type_traits>

namespace TestHost {

namespace {

template <typename T> T* Pointer(std::int32_t word) { return reinterpret_cast<T*>(std::uintptr_t(word)); }

constexpr std::int32_t ObjectNamePropertyID = 21;
constexpr std::uint32_t WideTextClassID = 0x53545257; // "STRW"

// How many calls of the log have that value in that field.
template <typename Call> int CountOf(const std::vector<Call>& log, int Call::*field, int value)
{
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [&](const Call& call) { return call.*field == value; }));
}

// CallFunction and the image editors get no record to find their host by: they go to the newest one.
std::vector<Host*> living;

} // namespace

// The host's routines as the library calls them.
struct Host::Callbacks {
    // A run-time callback reaches the host through the run header of the record passed; a record without
    // one still reaches the newest host, and the log shows what the library passed.
    template <int Index> static std::uint32_t HOST_STDCALL Run(RUNDATA* rd, std::int32_t w, std::int32_t l)
    {
        for (Host* host : living)
            if (rd != nullptr && rd->rHo.runHeader == &host->header)
                return Answer(*host, Index, w, l);
        return Answer(*living.back(), Index, w, l);
    }

    template <int... Index> static void Install(RuntimeCallback* table)
    {
        ((table[Index] = Run<Index>), ...);
    }

    static std::uint32_t Answer(Host& host, int index, std::int32_t w, std::int32_t l)
    {
        host.callbackLog.push_back({index, w, l});
        if (index == HostCallback::GetStringSpace) {
            host.stringRequests.push_back(l);
            return l < 0 ? 0 : Address(host.Keep(static_cast<std::size_t>(l)));
        }
        if (index == HostCallback::EditInteger || index == HostCallback::EditText) {
            auto* record = Pointer<HostEditRecord>(l);
            host.editReceived = *record;
            host.editReceivedText = record->text != nullptr ? record->text : L"";
            if (host.editAnswer == 1 && index == HostCallback::EditInteger)
                record->integer = host.editInteger;
            // A confirmed text comes back in a copy the host keeps, not in the library's buffer.
            if (host.editAnswer == 1 && index == HostCallback::EditText)
                record->text = Pointer<wchar_t>(host.ValueOf(host.editText.c_str()));
            return host.editAnswer;
        }
        auto& queue = index == HostCallback::GetActionParam ? host.actionParams : host.expressionParams;
        if (queue.empty())
            return 0;
        const Arg arg = queue.front();
        queue.pop_front();
        // Like the host's evaluator, a number is handed over in the kind asked for.
        if (w == 2 && arg.kind == Arg::Kind::Integer)
            return Arg(static_cast<float>(static_cast<std::int32_t>(arg.bits))).bits;
        if (w == 0 && arg.kind == Arg::Kind::Float)
            return static_cast<std::uint32_t>(static_cast<std::int32_t>(arg.AsFloat()));
        return host.ValueOf(arg);
    }

    static std::uint32_t HOST_STDCALL Function(EDITDATA* edPtr, std::int32_t id, std::int32_t p1,
                                               std::int32_t p2, std::int32_t p3)
    {
        if (living.empty())
            return 0;
        Host& host = *living.back();
        host.functionLog.push_back({edPtr, id, p1, p2, p3});
        switch (id) {
        case HostFunction::ReallocEditData: {
            const auto* old = Pointer<EDITDATA>(p1);
            const auto size = static_cast<std::uint32_t>(p2);
            host.reallocRequests.push_back(size);
            if (host.reallocRefused || old == nullptr)
                return 0;
            auto* record =
                static_cast<EDITDATA*>(host.Keep(std::max<std::size_t>(size, sizeof(EditDataHeader))));
            std::memcpy(record, old, std::min(old->eHeader.totalSize, size));
            record->eHeader.totalSize = size;
            return Address(host.lastReallocated = record);
        }
        case HostFunction::GetPropertyValue:
            if (p1 != ObjectNamePropertyID || host.objectName.empty())
                return 0;
            host.values.push_back(std::make_unique<HostValue>(WideTextClassID, host.objectName));
            return Address(host.values.back().get());
        case HostFunction::IsHardwareAccelerated:
        case HostFunction::IsUnicode:
            return 1;
        default:
            return 0;
        }
    }

    template <typename Record>
    static std::int32_t HOST_STDCALL ImageEditor(EDITDATA*, Record* record, std::uint32_t)
    {
        Host& host = *living.back();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(record);
        host.imageEditorRecords.emplace_back(bytes, bytes + sizeof *record);
        host.imageWindowTitle = record->windowTitle != nullptr ? record->windowTitle : L"";
        const bool confirmed = host.imageEditorAnswer == 1;
        if constexpr (std::is_same_v<Record, HostImageListEditRecord>) {
            host.imageIDsOnEntry.assign(record->imageIDs, record->imageIDs + record->maxCount);
            host.imageTitles.clear();
            for (auto title = record->imageTitles; title != nullptr && *title != nullptr; ++title)
                host.imageTitles.emplace_back(*title);
            if (confirmed) {
                const std::size_t count = host.editedImageIDs.size();
                std::copy_n(host.editedImageIDs.begin(), std::min<std::size_t>(count, record->maxCount),
                            record->imageIDs);
                record->count = static_cast<std::uint32_t>(count);
            }
        } else if (confirmed && !host.editedImageIDs.empty()) {
            record->imageID = host.editedImageIDs[0];
        }
        return host.imageEditorAnswer;
    }
};

Host::Host(void* mainWindow) : surfaceLibrary(LoadLibraryW(FakeSurfaceLibraryPath().c_str()))
{
    mv.CallFunction = Callbacks::Function;
    mv.mainWindow = mainWindow;
    mv.imageFilterManager = &imageFilterManager;
    mv.imageEditor = Callbacks::ImageEditor<HostImageEditRecord>;
    mv.imageListEditor = Callbacks::ImageEditor<HostImageListEditRecord>;
    header.mvPtr = &mv;
    using namespace HostCallback;
    Callbacks::Install<GetStringSpace, GetFirstExpressionParam, GetNextExpressionParam, GetActionParam,
                       EditInteger, EditText>(header.RuntimeCallbacks);
    living.push_back(this);
}

Host::~Host()
{
    living.erase(std::find(living.begin(), living.end(), this));
    FreeLibrary(surfaceLibrary); // fails harmlessly when the fake was not built
}

void* Host::Keep(std::size_t bytes)
{
    blocks.emplace_back(new std::uint8_t[std::max<std::size_t>(bytes, 1)]());
    return blocks.back().get();
}

RUNDATA* Host::NewObject()
{
    auto* rd = new (Keep(sizeof(RUNDATA))) RUNDATA{};
    rd->rHo.runHeader = &header;
    return rd;
}

std::uint32_t Host::ValueOf(const Arg& arg)
{
    if (arg.kind != Arg::Kind::Text)
        return arg.bits;
    auto* copy = static_cast<wchar_t*>(Keep((arg.text.size() + 1) * sizeof(wchar_t)));
    std::copy(arg.text.begin(), arg.text.end(), copy);
    return Address(copy);
}

int Host::CallbackCount(int index) const { return CountOf(callbackLog, &CallbackCall::index, index); }

int Host::FunctionCount(int id) const { return CountOf(functionLog, &FunctionCall::id, id); }

int Host::ReleasedValues() const
{
    return std::accumulate(values.begin(), values.end(), 0,
                           [](int sum, auto& value) { return sum + value->releases; });
}

void Host::ResetCounts()
{
    callbackLog.clear();
    functionLog.clear();
    stringRequests.clear();
}

} // namespace TestHost
