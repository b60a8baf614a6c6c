// Records exchanged with the host through `ptr` or as an answer.
#pragma once

#include "framework/EffectRecord.h"

#include <cstddef>
#include <cstdint>

namespace fw {

constexpr int32_t kEventTypeMidi = 1;
constexpr int32_t kMidiEventRecordBytes = 24; // size after the first two fields

struct MidiEventRecord {
  int32_t eventType;
  int32_t recordBytes;
  int32_t frameOffset; // frame within the current block
  unsigned char reservedA[12];
  unsigned char midiBytes[4]; // status, data 1, data 2, 0
  unsigned char reservedB[4];
};
static_assert(sizeof(MidiEventRecord) == 32, "MidiEventRecord size");
static_assert(offsetof(MidiEventRecord, frameOffset) == 8, "frameOffset offset");
static_assert(offsetof(MidiEventRecord, midiBytes) == 24, "midiBytes offset");

// A list of events; `events` may hold more entries than declared when the
// host builds the list, entries 0 to eventCount - 1 are valid.
struct EventList {
  int32_t eventCount;
  IntPtr reserved;
  MidiEventRecord *events[2];
};
static_assert(offsetof(EventList, reserved) == (sizeof(void *) == 4 ? 4 : 8), "reserved");
static_assert(offsetof(EventList, events) == (sizeof(void *) == 4 ? 8 : 16), "events");
static_assert(sizeof(EventList) == (sizeof(void *) == 4 ? 16 : 32), "EventList size");

// Bits of the transport request's mask and of TransportInfo::flags.
constexpr int32_t kTransportChanged = 1 << 0;
constexpr int32_t kTransportPlaying = 1 << 1;
constexpr int32_t kTransportBeatPositionValid = 1 << 9;
constexpr int32_t kTransportTempoValid = 1 << 10;
constexpr int32_t kTransportBarStartValid = 1 << 11;
constexpr int32_t kTransportTimeSignatureValid = 1 << 13;
constexpr int32_t kRouterTransportMask = 0xE00;

// The host's time and transport information; the host owns it.
struct TransportInfo {
  double samplePosition;
  double sampleRate;
  double nanoSeconds;
  double beatPosition; // song position in quarter notes
  double tempo;
  double barStartPosition;
  double cycleStartPosition;
  double cycleEndPosition;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  int32_t smpteOffset;
  int32_t smpteFrameRate;
  int32_t samplesToNextClock;
  int32_t flags;
};
static_assert(offsetof(TransportInfo, beatPosition) == 24, "beatPosition offset");
static_assert(offsetof(TransportInfo, flags) == 84, "flags offset");

} // namespace fw
