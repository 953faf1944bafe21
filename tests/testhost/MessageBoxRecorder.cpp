#include "MessageBoxRecorder.h"

#include <algorithm>

namespace TestHost {

namespace {

std::vector<MessageBoxRecorder*> living;

} // namespace

MessageBoxRecorder::MessageBoxRecorder(HMODULE module)
    : patch(module, "user32.dll", "MessageBoxW", reinterpret_cast<void*>(&Record))
{
    living.push_back(this);
}

MessageBoxRecorder::~MessageBoxRecorder() { living.erase(std::find(living.begin(), living.end(), this)); }

const std::vector<RecordedBox>& MessageBoxRecorder::Boxes() const { return boxes; }

void MessageBoxRecorder::Clear() { boxes.clear(); }

void MessageBoxRecorder::SetAnswer(int value) { answer = value; }

int WINAPI MessageBoxRecorder::Record(HWND owner, LPCWSTR text, LPCWSTR title, UINT style)
{
    MessageBoxRecorder* recorder = living.back();
    recorder->boxes.push_back({title != nullptr ? title : L"", text != nullptr ? text : L"", style, owner});
    return recorder->answer;
}

} // namespace TestHost
