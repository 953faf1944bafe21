#include "TestHost.h"

#include "FakeSurfaces.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace TestHost {

namespace {

std::uint32_t FloatBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::uint32_t Word(const void* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

constexpr std::int32_t ObjectNamePropertyID = 21;
constexpr std::uint32_t WideTextClassID = 0x53545257; // "STRW"

} // namespace

Arg::Arg(int value) : kind(Kind::Integer), bits(static_cast<std::uint32_t>(value)) {}

Arg::Arg(float value) : kind(Kind::Float), bits(FloatBits(value)) {}

Arg::Arg(const wchar_t* value) : kind(value != nullptr ? Kind::Text : Kind::Raw), bits(0)
{
    if (value != nullptr)
        text = value;
}

Arg Arg::Raw(std::uint32_t bits) { return Arg(Kind::Raw, bits); }

float Arg::AsFloat() const
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The run header the library sees, followed by the way back to its host: the callbacks receive only
// the object's record, whose header points here.
struct Host::Frame {
    RunHeader header;
    Host* host;
};

std::vector<Host*> Host::living;

Host::Host(void* mainWindow)
    : mv(std::make_unique<::mV>()), surfaceLibrary(LoadLibraryW(FakeSurfaceLibraryPath().c_str())),
      frame(std::make_unique<Frame>())
{
    mv->CallFunction = OnCallFunction;
    mv->mainWindow = mainWindow;
    mv->imageFilterManager = &imageFilterManager;
    mv->imageEditor = OnImageEditor;
    mv->imageListEditor = OnImageListEditor;
    frame->header.mvPtr = mv.get();
    RuntimeCallback* callbacks = frame->header.RuntimeCallbacks;
    callbacks[HostCallback::GetStringSpace] = OnStringSpace;
    callbacks[HostCallback::GetFirstExpressionParam] = OnFirstExpressionParam;
    callbacks[HostCallback::GetNextExpressionParam] = OnNextExpressionParam;
    callbacks[HostCallback::GetActionParam] = OnActionParam;
    callbacks[HostCallback::EditInteger] = OnEditInteger;
    callbacks[HostCallback::EditText] = OnEditText;
    frame->host = this;
    living.push_back(this);
}

Host::~Host()
{
    living.erase(std::find(living.begin(), living.end(), this));
    if (surfaceLibrary != nullptr)
        FreeLibrary(surfaceLibrary);
}

RunHeader* Host::Header() { return &frame->header; }

RUNDATA* Host::NewObject()
{
    objects.emplace_back(new std::uint8_t[sizeof(RUNDATA)]);
    RUNDATA* rd = new (objects.back().get()) RUNDATA{};
    rd->rHo.runHeader = Header();
    return rd;
}

void Host::QueueActionParams(const std::vector<Arg>& args)
{
    actionParams.insert(actionParams.end(), args.begin(), args.end());
}

void Host::QueueExpressionParams(const std::vector<Arg>& args)
{
    expressionParams.insert(expressionParams.end(), args.begin(), args.end());
}

void Host::DropParams()
{
    actionParams.clear();
    expressionParams.clear();
}

std::uint32_t Host::ValueOf(const Arg& arg)
{
    if (arg.kind != Arg::Kind::Text)
        return arg.bits;
    texts.emplace_back(new wchar_t[arg.text.size() + 1]);
    std::copy(arg.text.c_str(), arg.text.c_str() + arg.text.size() + 1, texts.back().get());
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(texts.back().get()));
}

void Host::FixExpressionParams(std::uint32_t first, std::uint32_t next)
{
    fixedParams = true;
    fixedFirst = first;
    fixedNext = next;
}

void Host::SetParamChain(RUNDATA* rd, const std::vector<ParamRecord>& records)
{
    // Each record is at least as large as EventParam, so that a reader of its 32-bit value stays inside.
    std::vector<std::size_t> sizes;
    std::size_t total = 0;
    for (const ParamRecord& record : records) {
        sizes.push_back(4 + 2 * std::max<std::size_t>(record.values.size(), 2));
        total += sizes.back();
    }
    paramChains.emplace_back(new std::uint8_t[std::max<std::size_t>(total, 1)]());
    std::uint8_t* place = paramChains.back().get();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::int16_t header[2] = {static_cast<std::int16_t>(sizes[i]), records[i].code};
        std::memcpy(place, header, sizeof header);
        std::memcpy(place + 4, records[i].values.data(), records[i].values.size() * 2);
        place += sizes[i];
    }
    rd->rHo.currentParam = reinterpret_cast<EventParam*>(paramChains.back().get());
}

int Host::CallbackCount(int index) const
{
    return index >= 0 && index < HostCallback::Count ? callbackCounts[index] : 0;
}

int Host::FunctionCount(int id) const
{
    auto found = functionCounts.find(id);
    return found == functionCounts.end() ? 0 : found->second;
}

int Host::ReleasedValues() const
{
    int released = 0;
    for (const auto& value : values)
        released += value->Releases();
    return released;
}

void Host::ResetCounts()
{
    callbackCounts.fill(0);
    functionCounts.clear();
    callbackLog.clear();
    stringRequests.clear();
    functionLog.clear();
}

Host* Host::Of(RUNDATA* rd)
{
    // A record without a run header still reaches a host; the log shows what the library passed.
    if (rd == nullptr || rd->rHo.runHeader == nullptr)
        return living.empty() ? nullptr : living.back();
    return reinterpret_cast<Frame*>(rd->rHo.runHeader)->host;
}

void Host::Record(int index, RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    ++callbackCounts[index];
    callbackLog.push_back({index, w, l, rd});
}

std::uint32_t Host::Next(std::deque<Arg>& queue, int index, RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    Record(index, rd, w, l);
    if (queue.empty())
        return 0;
    Arg arg = queue.front();
    queue.pop_front();
    // Like the host's evaluator, a number is handed over in the kind asked for.
    if (w == 2 && arg.kind == Arg::Kind::Integer)
        return FloatBits(static_cast<float>(static_cast<std::int32_t>(arg.bits)));
    if (w == 0 && arg.kind == Arg::Kind::Float)
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(arg.AsFloat()));
    return ValueOf(arg);
}

std::uint32_t HOST_STDCALL Host::OnCallFunction(EDITDATA* edPtr, std::int32_t id, std::int32_t p1,
                                                std::int32_t p2, std::int32_t p3)
{
    if (living.empty())
        return 0;
    Host* host = living.back();
    ++host->functionCounts[id];
    host->functionLog.push_back({edPtr, id, p1, p2, p3});
    switch (id) {
    case HostFunction::ReallocEditData:
        return Word(host->Reallocate(reinterpret_cast<EDITDATA*>(static_cast<std::uintptr_t>(p1)),
                                     static_cast<std::uint32_t>(p2)));
    case HostFunction::GetPropertyValue:
        if (p1 != ObjectNamePropertyID || host->objectName.empty())
            return 0;
        host->values.push_back(std::make_unique<HostValue>(WideTextClassID, host->objectName));
        return Word(host->values.back().get());
    case HostFunction::IsHardwareAccelerated:
        return host->hardwareAccelerated;
    case HostFunction::IsUnicode:
        return host->unicodeHost;
    default:
        return 0;
    }
}

EDITDATA* Host::Reallocate(EDITDATA* old, std::uint32_t size)
{
    reallocRequests.push_back(size);
    if (reallocRefused || old == nullptr)
        return nullptr;
    editRecords.emplace_back(new std::uint8_t[std::max<std::uint32_t>(size, sizeof(EditDataHeader))]());
    auto* record = reinterpret_cast<EDITDATA*>(editRecords.back().get());
    std::memcpy(record, old, std::min(old->eHeader.totalSize, size));
    record->eHeader.totalSize = size;
    lastReallocated = record;
    return record;
}

namespace {

// What an image editor received, before it answers.
Host::ImageEditorCall Received(bool several, EDITDATA* edPtr, std::uint32_t word14, const void* record,
                               std::size_t size, const wchar_t* windowTitle)
{
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    Host::ImageEditorCall call{};
    call.several = several;
    call.edPtr = edPtr;
    call.word14 = word14;
    call.record.assign(bytes, bytes + size);
    call.hasWindowTitle = windowTitle != nullptr;
    call.windowTitle = windowTitle != nullptr ? windowTitle : L"";
    return call;
}

} // namespace

std::int32_t HOST_STDCALL Host::OnImageEditor(EDITDATA* edPtr, HostImageEditRecord* record,
                                              std::uint32_t word14)
{
    Host* host = living.back();
    host->imageEditorCalls.push_back(
        Received(false, edPtr, word14, record, sizeof *record, record->windowTitle));
    if (host->imageEditorAnswer == 1 && !host->editedImageIDs.empty())
        record->imageID = host->editedImageIDs[0];
    return host->imageEditorAnswer;
}

std::int32_t HOST_STDCALL Host::OnImageListEditor(EDITDATA* edPtr, HostImageListEditRecord* record,
                                                  std::uint32_t word14)
{
    Host* host = living.back();
    ImageEditorCall call = Received(true, edPtr, word14, record, sizeof *record, record->windowTitle);
    call.imageIDs.assign(record->imageIDs, record->imageIDs + record->maxCount);
    call.hasImageTitles = record->imageTitles != nullptr;
    for (const wchar_t* const* title = record->imageTitles; title != nullptr && *title != nullptr; ++title)
        call.imageTitles.push_back(*title);
    host->imageEditorCalls.push_back(std::move(call));
    if (host->imageEditorAnswer == 1) {
        const std::size_t count = host->editedImageIDs.size();
        std::copy_n(host->editedImageIDs.begin(), std::min<std::size_t>(count, record->maxCount),
                    record->imageIDs);
        record->count = static_cast<std::uint32_t>(count);
    }
    return host->imageEditorAnswer;
}

std::uint32_t HOST_STDCALL Host::OnStringSpace(RUNDATA* rd, std::int32_t w, std::int32_t bytes)
{
    Host* host = Of(rd);
    host->Record(HostCallback::GetStringSpace, rd, w, bytes);
    host->stringRequests.push_back(bytes);
    if (bytes < 0)
        return 0;
    host->strings.emplace_back(new std::uint8_t[std::max(bytes, 1)]());
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(host->strings.back().get()));
}

std::uint32_t Host::ExpressionParam(int index, std::uint32_t fixed, RUNDATA* rd, std::int32_t w,
                                    std::int32_t i)
{
    if (fixedParams) {
        ++callbackCounts[index];
        return fixed;
    }
    return Next(expressionParams, index, rd, w, i);
}

std::uint32_t HOST_STDCALL Host::OnFirstExpressionParam(RUNDATA* rd, std::int32_t w, std::int32_t i)
{
    Host* host = Of(rd);
    return host->ExpressionParam(HostCallback::GetFirstExpressionParam, host->fixedFirst, rd, w, i);
}

std::uint32_t HOST_STDCALL Host::OnNextExpressionParam(RUNDATA* rd, std::int32_t w, std::int32_t i)
{
    Host* host = Of(rd);
    return host->ExpressionParam(HostCallback::GetNextExpressionParam, host->fixedNext, rd, w, i);
}

std::uint32_t HOST_STDCALL Host::OnActionParam(RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    Host* host = Of(rd);
    return host->Next(host->actionParams, HostCallback::GetActionParam, rd, w, l);
}

HostEditRecord* Host::Edit(int index, RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    Record(index, rd, w, l);
    auto* record = reinterpret_cast<HostEditRecord*>(static_cast<std::uintptr_t>(l));
    editReceived = *record;
    editReceivedText = record->text != nullptr ? record->text : L"";
    return editAnswer == 1 ? record : nullptr;
}

std::uint32_t HOST_STDCALL Host::OnEditInteger(RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    Host* host = Of(rd);
    if (HostEditRecord* record = host->Edit(HostCallback::EditInteger, rd, w, l))
        record->integer = host->editInteger;
    return host->editAnswer;
}

// A confirmed text is handed back in a copy the host keeps, not written into the library's buffer.
std::uint32_t HOST_STDCALL Host::OnEditText(RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    Host* host = Of(rd);
    if (HostEditRecord* record = host->Edit(HostCallback::EditText, rd, w, l))
        record->text =
            reinterpret_cast<wchar_t*>(static_cast<std::uintptr_t>(host->ValueOf(host->editText.c_str())));
    return host->editAnswer;
}

} // namespace TestHost
