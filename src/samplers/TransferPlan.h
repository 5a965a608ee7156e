#pragma once

#include "document/SampleDocument.h"
#include "samplers/SampleRates.h"
#include "samplers/TSamplerClass.h"
#include "slicing/Keymap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// The protocol indices the transfer flows tell apart.
inline constexpr int kProtocolSds = 0;
inline constexpr int kProtocolSmdi = 1;
inline constexpr int kProtocolYamahaA3000 = 2;
inline constexpr int kProtocolYamahaEx = 3;
inline constexpr int kProtocolEmu = 4;
inline constexpr int kProtocolAkai = 5;

// A "Wait For Send" receive asks the driver for a sample number this far above the position:
// the SDS driver then waits for a dump instead of requesting one.
inline constexpr int kWaitForSendOffset = 100000;

// One stretch of the open sample to send, as byte offsets into the interleaved data.
struct OutgoingSample {
    std::uint32_t startOffset = 0;
    std::uint32_t lengthBytes = 0;
};

// What the document sends: its whole frames (merged stereo or mono), or one channel of a
// stereo pair (split stereo; 1 = left, 2 = right).
struct SendSource {
    bool stereoAsStereo = false;
    int channel = 1;
    int channelsSent() const { return stereoAsStereo ? 2 : 1; }
};

// Merged stereo goes as stereo; split stereo sends the chosen channel; mono its one channel.
SendSource sendSourceOf(const SampleDocument& doc, int chosenChannel);

// "Send all in loop": each segment between the locators of the sent channel, the last one
// ending at the right locator.
std::vector<OutgoingSample> loopSamplesToSend(const SampleDocument& doc, const SendSource& source);

// "Send region": the locator region on whole frames, starting at the sent channel's sample.
OutgoingSample regionSampleToSend(const SampleDocument& doc, const SendSource& source);

// The file name without folder and extension, cut to 10 characters of the samplers' set
// (samplerText).
std::string transferBaseName(const std::string& fileName);

// The name of sample `position` (from 1) of a run of `count` samples on the sampler, in the
// samplers' set.
std::string transferSampleName(int protocol, const std::string& baseName, int position, int count);

// A batch file's name on the sampler: the file name without extension, cut to what the
// sampler keeps.
std::string batchSampleName(int protocol, const std::string& fileName);

// The sample numbers a sampler type has: 14 bits by the Sample Dump Standard and on the
// S2000, 24 bits by SMDI, from 1 on the E-mu samplers.
struct SampleNumberRange {
    int first = 0;
    int last = 0;
};
SampleNumberRange sampleNumberRange(int protocol);
// Why samples `first` to `first + count - 1` cannot go to the sampler, or nothing when they can.
std::optional<std::string> sampleNumberProblem(int protocol, int first, int count);

// The keys SendSample carries for sample k (from 0): the Akai program and the E-mu sampler
// take them with the sample when "Auto map" is on; everyone else gets zeros (the Yamaha
// keymaps follow through MapSamples).
KeyRange sendKeys(int protocol, bool autoMap, const KeymapSettings& keymap, int k);

// A received sample, checked: whole frames of 16-bit mono or stereo at a rate the editor
// holds, no longer than what arrived in the stream.
struct ReceivedSample {
    std::uint16_t channels = 1;
    std::uint32_t rate = 0;
    std::uint32_t lengthBytes = 0;
};

// The received sample the format describes, or the message that says why it cannot be used.
struct ReceivedCheck {
    std::optional<ReceivedSample> sample;
    std::string error;
};
ReceivedCheck checkReceivedSample(const ReceivedFormat& format, std::size_t bytesArrived,
                                  bool roundRate);

// The name a received sample's document gets: the sampler's name for it, or "Untitled", with
// ".wav"; characters a file name cannot hold become '_'.
std::string receivedDocumentName(const std::string& receivedName);

// The document a received sample becomes: its bytes (little-endian 16-bit, as the drivers
// leave them in the stream) and format.
SampleDocument receivedDocument(const MemoryStream& stream, const ReceivedSample& sample);

} // namespace tolvane
