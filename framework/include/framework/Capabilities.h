// Capability keywords: what an effect may ask its host about, and what it may
// claim when the host asks. Reference lists; compared whole and case-sensitive.
#pragma once

namespace fw {

inline constexpr const char *kHostCapabilityKeywords[] = {
    "sendVstEvents",
    "sendVstMidiEvent",
    "sendVstTimeInfo",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "receiveVstTimeInfo",
    "reportConnectionChanges",
    "acceptIOChanges",
    "sizeWindow",
    "asyncProcessing",
    "offline",
    "supplyIdle",
    "supportShell",
};

inline constexpr const char *kEffectCapabilityKeywords[] = {
    "sendVstEvents",
    "sendVstMidiEvent",
    "sendVstTimeInfo",
    "receiveVstEvents",
    "receiveVstMidiEvent",
    "receiveVstTimeInfo",
    "offline",
    "plugAsChannelInsert",
    "plugAsSend",
    "mixDryWet",
    "noRealTime",
    "multipass",
    "metapass",
    "1in1out",
    "1in2out",
    "2in1out",
    "2in2out",
    "2in4out",
    "4in2out",
    "4in4out",
    "4in8out",
    "8in4out",
    "8in8out",
};

static_assert(sizeof kHostCapabilityKeywords / sizeof *kHostCapabilityKeywords == 13);
static_assert(sizeof kEffectCapabilityKeywords / sizeof *kEffectCapabilityKeywords == 23);

} // namespace fw
