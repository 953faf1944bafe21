// The per-object class of the extension: one for every object instance, created by CreateRunObject.
// It owns no feature data: every store its members work on is process-wide and shared by all objects.
#pragma once

#include "../Lib/Shared/Host/HostRecords.h"
#include "../Lib/Shared/Polvane/FusionDebugger.h"
#include "../Lib/Shared/Tovik.Runtime/Runtime.h"

#include <cstdint>

class Extension {
public:
    // The version stored in every EDITDATA; stored data of another version is upgraded.
    static constexpr int Version = 1;

    RunHeader* rhPtr;
    RUNDATA* rdPtr;
    Tovik::Runtime Runtime;
    FusionDebugger Debugger;

    Extension(RUNDATA* rdPtr, EDITDATA* edPtr, void* cobPtr);
    ~Extension();

    std::int16_t Handle();
    std::int16_t Pause();
    std::int16_t Continue();

    // Fallbacks of the call path for ids without a linked member.
    void UnlinkedAction(int id);
    long UnlinkedCondition(int id);
    long UnlinkedExpression(int id);

    // Actions (ids in comments)
    void ActionExample(int ignored);                                                                 // 0
    void SecondActionExample();                                                                      // 1
    void FreeMemoryBlock(int pointer);                                                               // 2
    void WriteIntegerToPointer(int pointer, int value);                                              // 3
    void CopyBytes(int source, int destination, int count);                                          // 4
    void WriteFloatToPointer(int pointer, float value);                                              // 5
    void OverwriteInt(const wchar_t* name, int x);                                                   // 6
    void OverwriteInt2(const wchar_t* name, int x, int y);                                           // 7
    void OverwriteInt3(const wchar_t* name, int x, int y, int z);                                    // 8
    void OverwriteInt4(const wchar_t* name, int x, int y, int z, int w);                             // 9
    void OverwriteFloat(const wchar_t* name, float x);                                               // 10
    void OverwriteFloat2(const wchar_t* name, float x, float y);                                     // 11
    void OverwriteFloat3(const wchar_t* name, float x, float y, float z);                            // 12
    void OverwriteFloat4(const wchar_t* name, float x, float y, float z, float w);                   // 13
    void CreateIntegerMatrix(const wchar_t* name, const wchar_t* kind);                              // 14
    void RemoveIntegerMatrix(const wchar_t* name);                                                   // 15
    void ChangeIntegerMatrixValue(const wchar_t* name, const wchar_t* component, int value);         // 16
    void CreateFloatMatrix(const wchar_t* name, const wchar_t* kind);                                // 17
    void RemoveFloatMatrix(const wchar_t* name);                                                     // 18
    void ChangeFloatMatrixValue(const wchar_t* name, const wchar_t* component, float value);         // 19
    void CreateTextMatrix(const wchar_t* name, const wchar_t* kind);                                 // 20
    void RemoveTextMatrix(const wchar_t* name);                                                      // 21
    void ChangeTextMatrixValue(const wchar_t* name, const wchar_t* component, const wchar_t* value); // 22
    void OverwriteText(const wchar_t* name, const wchar_t* x);                                       // 23
    void OverwriteText2(const wchar_t* name, const wchar_t* x, const wchar_t* y);                    // 24
    void OverwriteText3(const wchar_t* name, const wchar_t* x, const wchar_t* y, const wchar_t* z);  // 25
    void OverwriteText4(const wchar_t* name, const wchar_t* x, const wchar_t* y, const wchar_t* z,
                        const wchar_t* w);                                         // 26
    void CreateIntegerArray(const wchar_t* name, int size);                        // 27
    void RemoveIntegerArray(const wchar_t* name);                                  // 28
    void ChangeIntegerArrayValue(const wchar_t* name, int pos, int value);         // 29
    void CreateFloatArray(const wchar_t* name, int size);                          // 30
    void RemoveFloatArray(const wchar_t* name);                                    // 31
    void ChangeFloatArrayValue(const wchar_t* name, int pos, float value);         // 32
    void CreateTextArray(const wchar_t* name, int size);                           // 33
    void RemoveTextArray(const wchar_t* name);                                     // 34
    void ChangeTextArrayValue(const wchar_t* name, int pos, const wchar_t* value); // 35
    void CaptureMicrophone();                                                      // 36
    void SetMicrophoneCaptureDelay(int milliseconds);                              // 37
    void SetMicrophoneFrequencySamples(int samples);                               // 38
    void RefreshMicrophone();                                                      // 39
    void RefreshMicrophoneList();                                                  // 40
    void SetCurrentMicrophone(const wchar_t* id);                                  // 41

    // Conditions
    bool AreEqual(int a, int b);                          // 0
    bool IsPointerValid(int pointer);                     // 1
    bool IsPointerNull(int pointer);                      // 2
    bool IsPointerInteger(int pointer, int value);        // 3
    bool IsPointerFloat(int pointer, float value);        // 4
    bool IsPointerText(int pointer, const wchar_t* text); // 5

    // Expressions
    int Add(int a, int b);                                                                  // 0
    const wchar_t* HelloWorldStr();                                                         // 1
    int PtrAllocateMemory(int size);                                                        // 2
    int PtrReadInt(int pointer);                                                            // 3
    int PtrReallocMemory(int pointer, int size);                                            // 4
    float PtrReadFloat(int pointer);                                                        // 5
    int MtxReadInt(const wchar_t* name, const wchar_t* component);                          // 6
    float MtxReadFloat(const wchar_t* name, const wchar_t* component);                      // 7
    int BitAND(int a, int b);                                                               // 8
    int BitOR(int a, int b);                                                                // 9
    int BitXOR(int a, int b);                                                               // 10
    int BitNOT(int a);                                                                      // 11
    int BitNAND(int a, int b);                                                              // 12
    int BitNOR(int a, int b);                                                               // 13
    int BitXNOR(int a, int b);                                                              // 14
    int BitSL(int a, int shift);                                                            // 15
    int BitSR(int a, int shift);                                                            // 16
    int BitRL(int a, int shift);                                                            // 17
    int BitRR(int a, int shift);                                                            // 18
    float If(int condition, float then);                                                    // 19
    float IfElse(int condition, float then, float otherwise);                               // 20
    int CheckEq(float a, float b);                                                          // 21
    int CheckEqN(float a, float b);                                                         // 22
    int CheckL(float a, float b);                                                           // 23
    int CheckLEq(float a, float b);                                                         // 24
    int CheckG(float a, float b);                                                           // 25
    int CheckGEq(float a, float b);                                                         // 26
    const wchar_t* IfStr(int condition, const wchar_t* then);                               // 27
    const wchar_t* IfElseStr(int condition, const wchar_t* then, const wchar_t* otherwise); // 28
    int CheckEqStr(const wchar_t* a, const wchar_t* b);                                     // 29
    int CheckEqNStr(const wchar_t* a, const wchar_t* b);                                    // 30
    const wchar_t* MtxReadTextStr(const wchar_t* name, const wchar_t* component);           // 31
    int ArrReadInt(const wchar_t* name, int pos);                                           // 32
    float ArrReadFloat(const wchar_t* name, int pos);                                       // 33
    const wchar_t* ArrReadTextStr(const wchar_t* name, int pos);                            // 34
    int BitIMPLY(int a, int b);                                                             // 35
    int BitNIMPLY(int a, int b);                                                            // 36
    int BitCONVERSE(int a, int b);                                                          // 37
    int BitNCONVERSE(int a, int b);                                                         // 38
    float SinM(float x);                                                                    // 39
    float CosM(float x);                                                                    // 40
    float TanM(float x);                                                                    // 41
    float CosecM(float x);                                                                  // 42
    float SecM(float x);                                                                    // 43
    float CtanM(float x);                                                                   // 44
    float ASinM(float x);                                                                   // 45
    float ACos(float x);                                                                    // 46
    float ATanM(float x);                                                                   // 47
    float Sinh(float x);                                                                    // 48
    float CoshM(float x);                                                                   // 49
    float TanhM(float x);                                                                   // 50
    float ASinhM(float x);                                                                  // 51
    float ACoshM(float x);                                                                  // 52
    float ATanhM(float x);                                                                  // 53
    float ConvDegToRadM(float x);                                                           // 54
    float ConvRadToDegM(float x);                                                           // 55
    int Check(float a, const wchar_t* op, float b);                                         // 56
    int CheckText(const wchar_t* a, const wchar_t* op, const wchar_t* b);                   // 57
    float DVMicVol();                                                                       // 58
    int DVMicDelay();                                                                       // 59
    float DVMicVoldB();                                                                     // 60
    float DVMicFraqAvg();                                                                   // 61
    int DVMicSampleSize();                                                                  // 62
    float DVMicFraqHigh();                                                                  // 63
    float DVMicFraqLow();                                                                   // 64
    const wchar_t* DVMicCNameStr();                                                         // 65
    int DVMicCount();                                                                       // 66
    const wchar_t* DVMicIDStr(int index);                                                   // 67
    const wchar_t* DVMicNameStr(int index);                                                 // 68
    const wchar_t* DVMicCIDStr();                                                           // 69
    float DVMicVolLowdB();                                                                  // 70
    float DVMicVolHighdB();                                                                 // 71
    float DVMicVolAvgdB();                                                                  // 72
    int DVMicFreqCheck();                                                                   // 73
    int DVMicActiveCheq();                                                                  // 74
    const wchar_t* Error();                                                                 // 75
};
