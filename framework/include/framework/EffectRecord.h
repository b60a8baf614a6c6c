// The binary interface between a host and a plug-in: the effect record, its
// entry points and the host callback. This is the one definition; the
// framework, the effects and our own host code all use it.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define PLUGIN_CALL __cdecl
#else
#define PLUGIN_CALL
#endif

namespace fw {

// The host interface widens `value`, the answers and the reserved fields to
// the width of a pointer; on 32-bit targets this is int32 and the classic
// 144-byte layout is unchanged.
using IntPtr = std::intptr_t;

struct EffectRecord;

using HostCallback = IntPtr(PLUGIN_CALL *)(EffectRecord *record, int32_t code, int32_t index,
                                           IntPtr value, void *ptr, float opt);
using DispatchEntry = IntPtr(PLUGIN_CALL *)(EffectRecord *record, int32_t code, int32_t index,
                                            IntPtr value, void *ptr, float opt);
using ProcessEntry = void(PLUGIN_CALL *)(EffectRecord *record, float **inputs, float **outputs,
                                         int32_t frames);
using SetParamEntry = void(PLUGIN_CALL *)(EffectRecord *record, int32_t index, float value);
using GetParamEntry = float(PLUGIN_CALL *)(EffectRecord *record, int32_t index);

// Four-character code: the first character lands in the most significant byte.
constexpr int32_t fourCharCode(char a, char b, char c, char d) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(a)) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(b)) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(c)) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(d)));
}

constexpr int32_t kRecordMagic = fourCharCode('V', 's', 't', 'P');
constexpr int32_t kDefaultEffectId = fourCharCode('N', 'o', 'E', 'f');

// Bits of EffectRecord::flags.
constexpr uint32_t kFlagClipMeter = 0x2;
constexpr uint32_t kFlagLevelMeter = 0x4;
constexpr uint32_t kFlagMonoCapable = 0x8;
constexpr uint32_t kFlagOverwriting = 0x10;
constexpr uint32_t kFlagStateBlocks = 0x20;
constexpr uint32_t kFlagInstrument = 0x100;
constexpr uint32_t kFlagSilentInStop = 0x200;
constexpr uint32_t kFlagAsync = 0x400;
constexpr uint32_t kFlagExternalBuffer = 0x800;

constexpr std::size_t kReservedTailBytes = sizeof(void *) == 4 ? 60 : 64;

struct EffectRecord {
  int32_t magic;
  DispatchEntry dispatchEntry;
  ProcessEntry processEntry;
  SetParamEntry setParamEntry;
  GetParamEntry getParamEntry;
  int32_t programCount;
  int32_t paramCount;
  int32_t inputCount;
  int32_t outputCount;
  uint32_t flags;
  IntPtr reservedA;
  IntPtr reservedB;
  int32_t delaySamples;
  int32_t realtimeQuality;
  int32_t offlineQuality;
  float inOutRatio;
  void *effectObject; // the EffectBase that owns this record
  void *userData;     // the host's; the plug-in never reads it
  int32_t effectId;
  int32_t effectVersion;
  ProcessEntry overwritingEntry;
  unsigned char reservedTail[kReservedTailBytes];
};

#define FW_PIN(field, off32, off64)                                                                \
  static_assert(offsetof(EffectRecord, field) == (sizeof(void *) == 4 ? (off32) : (off64)),        \
                #field " offset")
static_assert(offsetof(EffectRecord, magic) == 0, "magic offset");
FW_PIN(dispatchEntry, 4, 8);
FW_PIN(processEntry, 8, 16);
FW_PIN(setParamEntry, 12, 24);
FW_PIN(getParamEntry, 16, 32);
FW_PIN(programCount, 20, 40);
FW_PIN(paramCount, 24, 44);
FW_PIN(inputCount, 28, 48);
FW_PIN(outputCount, 32, 52);
FW_PIN(flags, 36, 56);
FW_PIN(reservedA, 40, 64);
FW_PIN(reservedB, 44, 72);
FW_PIN(delaySamples, 48, 80);
FW_PIN(realtimeQuality, 52, 84);
FW_PIN(offlineQuality, 56, 88);
FW_PIN(inOutRatio, 60, 92);
FW_PIN(effectObject, 64, 96);
FW_PIN(userData, 68, 104);
FW_PIN(effectId, 72, 112);
FW_PIN(effectVersion, 76, 116);
FW_PIN(overwritingEntry, 80, 120);
FW_PIN(reservedTail, 84, 128);
#undef FW_PIN
static_assert(sizeof(EffectRecord) == (sizeof(void *) == 4 ? 144 : 192), "record size");
static_assert(sizeof(void *) == 4 ? sizeof(IntPtr) == 4 : sizeof(IntPtr) == 8, "IntPtr width");

} // namespace fw
