// A test host for ControllerEffect: a plain callback that records every
// request and copies the event list and its first event while the request
// lasts (the effect keeps them in automatic storage).
#pragma once

#include "framework/EffectRecord.h"
#include "framework/HostRecords.h"
#include "framework/RequestCodes.h"

#include <cstring>
#include <vector>

namespace {

struct Request {
  int32_t code;
  int32_t index;
  fw::IntPtr value;
};

struct SentEvents {
  unsigned char listBytes[sizeof(fw::EventList)];
  unsigned char eventBytes[sizeof(fw::MidiEventRecord)];
  fw::EventList list;
  fw::MidiEventRecord event;
};

struct Recorder {
  std::vector<Request> requests;
  std::vector<SentEvents> sent;
  fw::IntPtr sendEventsAnswer = 1;

  std::size_t count(int32_t code) const {
    std::size_t n = 0;
    for (const Request &r : requests) {
      n += r.code == code ? 1 : 0;
    }
    return n;
  }
};

Recorder recorder;

fw::IntPtr PLUGIN_CALL recordingHost(fw::EffectRecord *, int32_t code, int32_t index,
                                     fw::IntPtr value, void *ptr, float) {
  recorder.requests.push_back({code, index, value});
  if (code == fw::kHostSendEvents && ptr != nullptr) {
    SentEvents copy{};
    std::memcpy(copy.listBytes, ptr, sizeof copy.listBytes);
    std::memcpy(&copy.list, ptr, sizeof copy.list);
    if (copy.list.eventCount > 0 && copy.list.events[0] != nullptr) {
      std::memcpy(copy.eventBytes, copy.list.events[0], sizeof copy.eventBytes);
      std::memcpy(&copy.event, copy.list.events[0], sizeof copy.event);
    }
    recorder.sent.push_back(copy);
    return recorder.sendEventsAnswer;
  }
  return 0;
}

} // namespace
