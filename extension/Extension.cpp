#include "Extension.h"

#include "Lib/Shared/Polvane/MsgBox.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "link/LinkAction.h"
#include "link/LinkExpression.h"

Extension::Extension(RUNDATA* rdPtr, EDITDATA*, void*)
    : rhPtr(rdPtr->GetRunHeader()), rdPtr(rdPtr), Runtime(this), Debugger(this)
{
    LinkAction<&Extension::ActionExample>(0);
    LinkAction<&Extension::SecondActionExample>(1);
    LinkAction<&Extension::FreeMemoryBlock>(2);
    LinkAction<&Extension::WriteIntegerToPointer>(3);
    LinkAction<&Extension::CopyBytes>(4);
    LinkAction<&Extension::WriteFloatToPointer>(5);
    LinkAction<&Extension::OverwriteInt>(6);
    LinkAction<&Extension::OverwriteInt2>(7);
    LinkAction<&Extension::OverwriteInt3>(8);
    LinkAction<&Extension::OverwriteInt4>(9);
    LinkAction<&Extension::OverwriteFloat>(10);
    LinkAction<&Extension::OverwriteFloat2>(11);
    LinkAction<&Extension::OverwriteFloat3>(12);
    LinkAction<&Extension::OverwriteFloat4>(13);
    LinkAction<&Extension::CreateIntegerMatrix>(14);
    LinkAction<&Extension::RemoveIntegerMatrix>(15);
    LinkAction<&Extension::ChangeIntegerMatrixValue>(16);
    LinkAction<&Extension::CreateFloatMatrix>(17);
    LinkAction<&Extension::RemoveFloatMatrix>(18);
    LinkAction<&Extension::ChangeFloatMatrixValue>(19);
    LinkAction<&Extension::CreateTextMatrix>(20);
    LinkAction<&Extension::RemoveTextMatrix>(21);
    LinkAction<&Extension::ChangeTextMatrixValue>(22);
    LinkAction<&Extension::OverwriteText>(23);
    LinkAction<&Extension::OverwriteText2>(24);
    LinkAction<&Extension::OverwriteText3>(25);
    LinkAction<&Extension::OverwriteText4>(26);
    LinkAction<&Extension::CreateIntegerArray>(27);
    LinkAction<&Extension::RemoveIntegerArray>(28);
    LinkAction<&Extension::ChangeIntegerArrayValue>(29);
    LinkAction<&Extension::CreateFloatArray>(30);
    LinkAction<&Extension::RemoveFloatArray>(31);
    LinkAction<&Extension::ChangeFloatArrayValue>(32);
    LinkAction<&Extension::CreateTextArray>(33);
    LinkAction<&Extension::RemoveTextArray>(34);
    LinkAction<&Extension::ChangeTextArrayValue>(35);
    LinkAction<&Extension::CaptureMicrophone>(36);
    LinkAction<&Extension::SetMicrophoneCaptureDelay>(37);
    LinkAction<&Extension::SetMicrophoneFrequencySamples>(38);
    LinkAction<&Extension::RefreshMicrophone>(39);
    LinkAction<&Extension::RefreshMicrophoneList>(40);
    LinkAction<&Extension::SetCurrentMicrophone>(41);

    LinkCondition<&Extension::AreEqual>(0);
    LinkCondition<&Extension::IsPointerValid>(1);
    LinkCondition<&Extension::IsPointerNull>(2);
    LinkCondition<&Extension::IsPointerInteger>(3);
    LinkCondition<&Extension::IsPointerFloat>(4);
    LinkCondition<&Extension::IsPointerText>(5);

    LinkExpression<&Extension::Add>(0);
    LinkExpression<&Extension::HelloWorldStr>(1);
    LinkExpression<&Extension::PtrAllocateMemory>(2);
    LinkExpression<&Extension::PtrReadInt>(3);
    LinkExpression<&Extension::PtrReallocMemory>(4);
    LinkExpression<&Extension::PtrReadFloat>(5);
    LinkExpression<&Extension::MtxReadInt>(6);
    LinkExpression<&Extension::MtxReadFloat>(7);
    LinkExpression<&Extension::BitAND>(8);
    LinkExpression<&Extension::BitOR>(9);
    LinkExpression<&Extension::BitXOR>(10);
    LinkExpression<&Extension::BitNOT>(11);
    LinkExpression<&Extension::BitNAND>(12);
    LinkExpression<&Extension::BitNOR>(13);
    LinkExpression<&Extension::BitXNOR>(14);
    LinkExpression<&Extension::BitIMPLY>(35);
    LinkExpression<&Extension::BitNIMPLY>(36);
    LinkExpression<&Extension::BitCONVERSE>(37);
    LinkExpression<&Extension::BitNCONVERSE>(38);
    LinkExpression<&Extension::BitSL>(15);
    LinkExpression<&Extension::BitSR>(16);
    LinkExpression<&Extension::BitRL>(17);
    LinkExpression<&Extension::BitRR>(18);
    LinkExpression<&Extension::If>(19);
    LinkExpression<&Extension::IfElse>(20);
    LinkExpression<&Extension::CheckEq>(21);
    LinkExpression<&Extension::CheckEqN>(22);
    LinkExpression<&Extension::CheckL>(23);
    LinkExpression<&Extension::CheckLEq>(24);
    LinkExpression<&Extension::CheckG>(25);
    LinkExpression<&Extension::CheckGEq>(26);
    LinkExpression<&Extension::IfStr>(27);
    LinkExpression<&Extension::IfElseStr>(28);
    LinkExpression<&Extension::CheckEqStr>(29);
    LinkExpression<&Extension::CheckEqNStr>(30);
    LinkExpression<&Extension::MtxReadTextStr>(31);
    LinkExpression<&Extension::ArrReadInt>(32);
    LinkExpression<&Extension::ArrReadFloat>(33);
    LinkExpression<&Extension::ArrReadTextStr>(34);
    LinkExpression<&Extension::SinM>(39);
    LinkExpression<&Extension::CosM>(40);
    LinkExpression<&Extension::TanM>(41);
    LinkExpression<&Extension::CosecM>(42);
    LinkExpression<&Extension::SecM>(43);
    LinkExpression<&Extension::CtanM>(44);
    LinkExpression<&Extension::ASinM>(45);
    LinkExpression<&Extension::ACos>(46);
    LinkExpression<&Extension::ATanM>(47);
    LinkExpression<&Extension::Sinh>(48);
    LinkExpression<&Extension::CoshM>(49);
    LinkExpression<&Extension::TanhM>(50);
    LinkExpression<&Extension::ASinhM>(51);
    LinkExpression<&Extension::ACoshM>(52);
    LinkExpression<&Extension::ATanhM>(53);
    LinkExpression<&Extension::ConvDegToRadM>(54);
    LinkExpression<&Extension::ConvRadToDegM>(55);
    LinkExpression<&Extension::Check>(56);
    LinkExpression<&Extension::CheckText>(57);
    LinkExpression<&Extension::DVMicVol>(58);
    LinkExpression<&Extension::DVMicDelay>(59);
    LinkExpression<&Extension::DVMicVoldB>(60);
    LinkExpression<&Extension::DVMicFraqAvg>(61);
    LinkExpression<&Extension::DVMicSampleSize>(62);
    LinkExpression<&Extension::DVMicFraqHigh>(63);
    LinkExpression<&Extension::DVMicFraqLow>(64);
    LinkExpression<&Extension::DVMicCNameStr>(65);
    LinkExpression<&Extension::DVMicCount>(66);
    LinkExpression<&Extension::DVMicIDStr>(67);
    LinkExpression<&Extension::DVMicNameStr>(68);
    LinkExpression<&Extension::DVMicCIDStr>(69);
    LinkExpression<&Extension::DVMicVolLowdB>(70);
    LinkExpression<&Extension::DVMicVolHighdB>(71);
    LinkExpression<&Extension::DVMicVolAvgdB>(72);
    LinkExpression<&Extension::DVMicFreqCheck>(73);
    LinkExpression<&Extension::DVMicActiveCheq>(74);
    LinkExpression<&Extension::Error>(75);
}

Extension::~Extension() = default;

// No per-frame work: the microphone is sampled only when an event asks for it.
std::int16_t Extension::Handle() { return 1; }
std::int16_t Extension::Pause() { return 0; }
std::int16_t Extension::Continue() { return 0; }

void Extension::UnlinkedAction(int id)
{
    Polvane::MsgBox::Error(L"Extension::UnlinkedAction() called",
                           L"Running a fallback for action ID %d. Make sure you ran LinkAction().", id);
}

long Extension::UnlinkedCondition(int id)
{
    Polvane::MsgBox::Error(L"Extension::UnlinkedCondition() called",
                           L"Running a fallback for condition ID %d. Make sure you ran LinkCondition().", id);
    return 0;
}

long Extension::UnlinkedExpression(int id)
{
    Polvane::MsgBox::Error(L"Extension::UnlinkedExpression() called",
                           L"Running a fallback for expression ID %d. Make sure you ran LinkExpression().",
                           id);
    const auto index = static_cast<std::size_t>(id);
    if (index < ::SDK->ExpressionInfos.size() && ::SDK->ExpressionInfos[index]->FlagsOrReturnType == 1)
        return static_cast<long>(reinterpret_cast<std::uintptr_t>(Runtime.CopyString(L"")));
    return 0;
}
