// Byte layouts of the records exchanged with the host.
#include "framework/HostRecords.h"

#include <doctest/doctest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace fw;

TEST_CASE("a control-change event for controller 74, value 100, at frame 512") {
  MidiEventRecord event;
  std::memset(&event, 0, sizeof event);
  event.eventType = kEventTypeMidi;
  event.recordBytes = kMidiEventRecordBytes;
  event.frameOffset = 512;
  event.midiBytes[0] = 0xB0;
  event.midiBytes[1] = 74;
  event.midiBytes[2] = 100;

  const unsigned char expected[32] = {
      1,  0, 0, 0,                                           // eventType: MIDI
      24, 0, 0, 0,                                           // recordBytes
      0,  2, 0, 0,                                           // frameOffset 512
      0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xB0, 74, 100, 0, // control change, channel 0
      0,  0, 0, 0,
  };
  REQUIRE(sizeof event == 32);
  CHECK(std::memcmp(&event, expected, sizeof expected) == 0);
}

TEST_CASE("the list that carries one event: count 1, reserved 0, the event, null") {
  MidiEventRecord event{};
  EventList list;
  std::memset(&list, 0, sizeof list);
  list.eventCount = 1;
  list.reserved = 0;
  list.events[0] = &event;
  list.events[1] = nullptr;

  // Four bytes of count, then reserved and two pointers, each as wide as a
  // pointer: 16 bytes where pointers are 4 bytes.
  const std::size_t word = sizeof(void *);
  std::vector<unsigned char> expected(word * 4, 0);
  expected[0] = 1;
  const auto address = reinterpret_cast<uintptr_t>(&event);
  std::memcpy(&expected[word * 2], &address, word);
  REQUIRE(sizeof list == expected.size());
  CHECK(std::memcmp(&list, expected.data(), expected.size()) == 0);
  if (word == 4) {
    CHECK(sizeof list == 16);
  }
}

TEST_CASE("the musical position is the 64-bit float at offset 24 of the transport record") {
  unsigned char bytes[sizeof(TransportInfo)] = {};
  const double position = 2.5;
  std::memcpy(bytes + 24, &position, sizeof position);
  TransportInfo info;
  std::memcpy(&info, bytes, sizeof info);
  CHECK(info.beatPosition == 2.5);
  CHECK(info.samplePosition == 0.0);
  CHECK(info.tempo == 0.0);
  // The transport request's mask for position, tempo and bar start.
  CHECK(kRouterTransportMask == 3584);
  CHECK((kTransportBeatPositionValid | kTransportTempoValid | kTransportBarStartValid) == 0xE00);
}
