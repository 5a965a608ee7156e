#include "fakes/QueuedPoster.h"
#include "fakes/RecordingSamplerDriver.h"
#include "fileio/WaveFileWriter.h"
#include "samplers/BatchRun.h"
#include "samplers/SendRun.h"
#include "samplers/TransferPlan.h"
#include "samplers/TransferRunner.h"
#include "support/TestFiles.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace tolvane {
namespace {

using test::Bytes;

// A document of `frames` frames whose every 16-bit sample is its own index, with slice points.
SampleDocument
documentWithPoints(std::uint16_t channels, std::uint32_t frames,
                   const std::vector<std::pair<std::uint32_t, std::uint8_t>>& points) {
    SampleDocument doc;
    const std::uint32_t bytes = frames * 2u * channels;
    ByteBuffer data(bytes + kSpareBytes, 0);
    for (std::uint32_t i = 0; i < bytes / 2; ++i) {
        data[2 * i] = static_cast<std::uint8_t>(i);
        data[2 * i + 1] = static_cast<std::uint8_t>(i >> 8);
    }
    doc.SampleData.adopt(std::move(data));
    doc.DataLength = static_cast<std::int32_t>(bytes);
    doc.Channels = channels;
    doc.SampleRate = 44100;
    doc.BitsPerSample = 16;
    doc.DocumentOpen = true;
    doc.FileName = "/loops/Amen break.wav";
    doc.LocatorL = 0;
    doc.LocatorR = bytes;
    doc.MergeChannels = channels == 2;
    doc.SliceCount = static_cast<std::int32_t>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        doc.SliceTable[i + 1].Position = points[i].first;
        doc.SliceTable[i + 1].Channel = points[i].second;
    }
    return doc;
}

TEST(TransferPlan, KeysNamesAndRatesFollowTheSamplerType) {
    KeymapSettings keymap; // C, octave position 4: base note 48
    EXPECT_EQ(keymap.baseNote(), 48);
    keymap.interval = 2;
    const KeyRange emu = sendKeys(kProtocolEmu, true, keymap, 3);
    EXPECT_EQ(emu.key, 57);
    EXPECT_EQ(emu.low, 56);
    EXPECT_EQ(emu.high, 58);
    const KeyRange akai = sendKeys(kProtocolAkai, true, keymap, 3);
    EXPECT_EQ(akai.low, 57);
    EXPECT_EQ(akai.high, 57);
    EXPECT_EQ(sendKeys(kProtocolSmdi, true, keymap, 3).key, 0);
    EXPECT_EQ(sendKeys(kProtocolEmu, false, keymap, 3).key, 0);

    EXPECT_EQ(transferBaseName("/x/A very long loop name.wav"), "A very lon");
    EXPECT_EQ(transferSampleName(kProtocolYamahaA3000, "Amen break", 7, 12), "Amen break007");
    EXPECT_EQ(transferSampleName(kProtocolAkai, "Amen break", 12, 12), "Amen brea012");
    EXPECT_EQ(transferSampleName(kProtocolSmdi, "Amen", 3, 12), "Amen3");
    // 10 + 3 digits + 2 > 16: the base keeps 14 - 3 characters.
    EXPECT_EQ(transferSampleName(kProtocolSmdi, "Amen break", 5, 120), "Amen break5");
    EXPECT_EQ(transferSampleName(kProtocolSmdi, "Amen breaks", 5, 1200).size(), 11u);
    EXPECT_EQ(batchSampleName(kProtocolYamahaA3000, "/a/Thirteen chars.aif"), "Thirteen cha");
    EXPECT_EQ(batchSampleName(kProtocolAkai, "/a/Kick 1.wav"), "Kick 1");
    // Names are cut by characters and go in the sampler's set: one character for each.
    EXPECT_EQ(transferBaseName("/x/\xC3\x84rger und K\xC3\xBC"
                               "che.wav"),
              "Arger und ");
    EXPECT_EQ(transferSampleName(kProtocolSmdi,
                                 "K\xC3\xBC"
                                 "che",
                                 2, 8),
              "Kuche2");
    EXPECT_EQ(batchSampleName(kProtocolYamahaA3000, "/a/\xC3\x89t\xC3\xA9 \xE2\x82\xAC"
                                                    "5.aif"),
              "Ete  5");

    EXPECT_EQ(roundSampleRate(44110), 44100u);
    EXPECT_EQ(roundSampleRate(22050), 22000u);
    EXPECT_EQ(roundSampleRate(22150), 22200u);
    EXPECT_EQ(roundSampleRate(44099), 44100u);
}

TEST(TransferPlan, SegmentsOfEachChannelLayout) {
    // Mono: points at frames 100 and 250 of 400; the last segment ends at the right locator.
    SampleDocument mono = documentWithPoints(1, 400, {{200, 1}, {500, 1}});
    const auto monoSamples = loopSamplesToSend(mono, sendSourceOf(mono, 1));
    ASSERT_EQ(monoSamples.size(), 3u);
    EXPECT_EQ(monoSamples[0].startOffset, 0u);
    EXPECT_EQ(monoSamples[0].lengthBytes, 200u);
    EXPECT_EQ(monoSamples[2].startOffset, 500u);
    EXPECT_EQ(monoSamples[2].lengthBytes, 300u);

    // Split stereo, right channel: offsets on the right samples, spans of whole frames.
    SampleDocument split = documentWithPoints(2, 400, {{400, 2}, {802, 1}});
    split.MergeChannels = false;
    const SendSource right = sendSourceOf(split, 2);
    EXPECT_FALSE(right.stereoAsStereo);
    EXPECT_EQ(right.channelsSent(), 1);
    const auto rightSamples = loopSamplesToSend(split, right);
    ASSERT_EQ(rightSamples.size(), 2u);
    EXPECT_EQ(rightSamples[0].startOffset, 2u);
    EXPECT_EQ(rightSamples[0].lengthBytes, 800u);
    EXPECT_EQ(rightSamples[1].startOffset, 802u);
    EXPECT_EQ(rightSamples[1].lengthBytes, 800u);

    // Merged stereo goes as stereo; the region covers whole frames.
    SampleDocument merged = documentWithPoints(2, 400, {});
    merged.LocatorL = 6;
    merged.LocatorR = 1003;
    const SendSource both = sendSourceOf(merged, 2);
    EXPECT_TRUE(both.stereoAsStereo);
    const OutgoingSample region = regionSampleToSend(merged, both);
    EXPECT_EQ(region.startOffset, 4u);
    EXPECT_EQ(region.lengthBytes, 996u);
    merged.MergeChannels = false;
    EXPECT_EQ(regionSampleToSend(merged, sendSourceOf(merged, 2)).startOffset, 6u);
}

TEST(TransferPlan, ReceivedSamplesAreCheckedBeforeTheyBecomeADocument) {
    EXPECT_FALSE(checkReceivedSample({44100, 16, 0, 100}, 100, false).sample);
    EXPECT_FALSE(checkReceivedSample({0, 16, 1, 100}, 100, false).sample);
    EXPECT_FALSE(checkReceivedSample({44100, 8, 1, 100}, 100, false).sample);
    EXPECT_FALSE(checkReceivedSample({44100, 16, 2, 100}, 3, false).sample);
    // More announced than arrived: what arrived, in whole frames; the rate rounded on request.
    const ReceivedCheck check = checkReceivedSample({22050, 16, 2, 1000}, 403, true);
    ASSERT_TRUE(check.sample) << check.error;
    EXPECT_EQ(check.sample->lengthBytes, 400u);
    EXPECT_EQ(check.sample->rate, 22000u);

    MemoryStream stream;
    stream.assign(Bytes{1, 2, 3, 4, 5, 6});
    const SampleDocument doc = receivedDocument(stream, {1, 32000, 4});
    EXPECT_EQ(doc.DataLength, 4);
    EXPECT_EQ(doc.SampleData.size(), 4 + kSpareBytes);
    EXPECT_EQ(doc.SampleData.data()[3], 4);
    EXPECT_EQ(doc.SampleData.data()[4], 0);
    EXPECT_EQ(receivedDocumentName("KICK 1   "), "KICK 1.wav");
    EXPECT_EQ(receivedDocumentName(""), "Untitled.wav");
    EXPECT_EQ(receivedDocumentName("../a/b"), ".._a_b.wav");
}

// Runs the owner's queue until the run reports its end.
template <typename Done> void pumpUntil(test::QueuedPoster& owner, Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        if (owner.deliver() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(done());
}

SendRunRequest loopRequest(const SampleDocument& doc, int protocol) {
    SendRunRequest request;
    request.protocol = protocol;
    request.source = sendSourceOf(doc, 1);
    request.samples = loopSamplesToSend(doc, request.source);
    request.firstSampleNumber = 20;
    request.baseName = transferBaseName(doc.FileName);
    request.fileName = doc.FileName;
    request.autoMap = true;
    request.keymap.whiteKeysOnly = true;
    return request;
}

TEST(SendRun, SendsEachSegmentThenMapsTheKeys) {
    SampleDocument doc = documentWithPoints(1, 400, {{200, 1}, {500, 1}});
    test::RecordingSamplerDriver driver;
    driver.SetSampleStream(&doc.SampleData);
    test::QueuedPoster owner;
    std::optional<SendRunResult> result;
    SendRun run(
        driver, owner.poster(), [] { return true; }, [&](const SendRunResult& r) { result = r; });
    run.start(loopRequest(doc, kProtocolAkai));
    pumpUntil(owner, [&] { return result.has_value(); });

    EXPECT_FALSE(result->aborted);
    EXPECT_EQ(result->samplesSent, 3);
    ASSERT_EQ(driver.sent.size(), 3u);
    EXPECT_EQ(driver.sent[0].name, "Amen brea001");
    EXPECT_EQ(driver.sent[2].sampleNumber, 22);
    EXPECT_EQ(driver.sent[2].positionInRun, 3);
    EXPECT_EQ(driver.sent[2].rootKey, 52); // the third white key from C 48
    EXPECT_FALSE(driver.sent[0].batch);
    EXPECT_EQ(driver.sentBytes[1], Bytes(doc.SampleData.data() + 200, doc.SampleData.data() + 500));
    ASSERT_EQ(driver.mappings.size(), 1u);
    EXPECT_EQ(driver.mappings[0].first, 20);
    EXPECT_EQ(driver.mappings[0].count, 3);
    EXPECT_EQ(driver.mappings[0].baseName, doc.FileName);
    EXPECT_TRUE(driver.mappings[0].whiteKeys);
}

TEST(SendRun, NoToTheNextSampleAndAbortDumpEndTheRun) {
    SampleDocument doc = documentWithPoints(1, 400, {{200, 1}, {500, 1}});
    {
        test::RecordingSamplerDriver driver;
        test::QueuedPoster owner;
        int asked = 0;
        std::optional<SendRunResult> result;
        SendRun run(
            driver, owner.poster(), [&] { return ++asked < 2; },
            [&](const SendRunResult& r) { result = r; });
        SendRunRequest request = loopRequest(doc, kProtocolYamahaA3000);
        request.promptBetween = true;
        run.start(request);
        pumpUntil(owner, [&] { return result.has_value(); });
        EXPECT_TRUE(result->aborted);
        EXPECT_EQ(result->samplesSent, 2);
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(driver.aborts, 1);
        EXPECT_TRUE(driver.mappings.empty());
    }
    {
        // The driver holds the first sample; "Abort dump" makes it end, and the run with it.
        test::RecordingSamplerDriver driver;
        driver.hold = true;
        test::QueuedPoster owner;
        std::optional<SendRunResult> result;
        SendRun run(
            driver, owner.poster(), [] { return true; },
            [&](const SendRunResult& r) { result = r; });
        run.start(loopRequest(doc, kProtocolSmdi));
        pumpUntil(owner, [&] { return driver.sent.size() == 1; });
        run.abort();
        pumpUntil(owner, [&] { return result.has_value(); });
        EXPECT_TRUE(result->aborted);
        EXPECT_EQ(driver.sent.size(), 1u);
    }
    {
        // A driver that never answers, even to an abort: the run gives up after the grace.
        test::RecordingSamplerDriver driver;
        driver.hold = true;
        driver.deaf = true;
        test::QueuedPoster owner;
        std::optional<SendRunResult> result;
        SendRun run(
            driver, owner.poster(), [] { return true; },
            [&](const SendRunResult& r) { result = r; });
        run.setAbortGrace(std::chrono::milliseconds(50));
        run.start(loopRequest(doc, kProtocolSmdi));
        pumpUntil(owner, [&] { return driver.sent.size() == 1; });
        run.abort();
        pumpUntil(owner, [&] { return result.has_value(); });
        EXPECT_TRUE(result->aborted);
    }
}

// A number past what the sampler numbers is refused before anything goes: the SDS driver
// would otherwise send it as its last number, over what is there.
TEST(SendRun, SampleNumbersOutsideTheSamplersRangeAreRefusedBeforeSending) {
    SampleDocument doc = documentWithPoints(1, 400, {{200, 1}, {500, 1}});
    test::RecordingSamplerDriver driver;
    test::QueuedPoster owner;
    std::optional<SendRunResult> result;
    SendRun run(
        driver, owner.poster(), [] { return true; }, [&](const SendRunResult& r) { result = r; });
    SendRunRequest request = loopRequest(doc, kProtocolSds);
    request.firstSampleNumber = 16382; // the third would be 16384
    run.start(request);
    pumpUntil(owner, [&] { return result.has_value(); });
    EXPECT_TRUE(result->aborted);
    EXPECT_EQ(result->outcome.kind, TransferOutcome::Kind::Failed);
    EXPECT_NE(result->outcome.message.find("16384"), std::string::npos) << result->outcome.message;
    EXPECT_TRUE(driver.sent.empty());

    result.reset();
    request.protocol = kProtocolEmu;
    request.firstSampleNumber = 0; // E-mu samplers number from 1
    run.start(request);
    pumpUntil(owner, [&] { return result.has_value(); });
    EXPECT_TRUE(result->aborted);
    EXPECT_TRUE(driver.sent.empty());

    std::optional<BatchResult> batchResult;
    BatchRun batch(driver, owner.poster(), [&](const BatchResult& r) { batchResult = r; });
    batch.start({kProtocolSds, -1, false, {}, {"a.wav"}});
    pumpUntil(owner, [&] { return batchResult.has_value(); });
    EXPECT_TRUE(batchResult->aborted);
    EXPECT_FALSE(batchResult->error.empty());
    EXPECT_TRUE(driver.sent.empty());
}

TEST(TransferRunner, RunsInOrderKeepsTheLastOutcomeAndWaitsForTheEnd) {
    TransferRunner runner;
    std::vector<int> order;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    runner.run([&] {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
        order.push_back(1);
        return TransferOutcome::done();
    });
    runner.run(
        [&] {
            order.push_back(2);
            return TransferOutcome::stoppedBySampler("refused");
        },
        [&](const TransferOutcome& outcome) {
            order.push_back(outcome.kind == TransferOutcome::Kind::StoppedBySampler ? 3 : -1);
        });
    EXPECT_TRUE(runner.busy());
    EXPECT_FALSE(runner.waitFor(std::chrono::milliseconds(10))) << "held by the first";
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    const TransferOutcome last = runner.wait();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(last.kind, TransferOutcome::Kind::StoppedBySampler);
    EXPECT_EQ(last.message, "refused");
    EXPECT_FALSE(runner.busy());

    // An operation that throws has failed with its message.
    runner.run([]() -> TransferOutcome { throw std::runtime_error("port gone"); });
    EXPECT_EQ(runner.wait().message, "port gone");
}

TEST(TransferRunner, AnAbortEndsAPauseAtOnceAndCallsTheHook) {
    TransferRunner runner;
    std::atomic<int> hooked = 0;
    runner.setAbortHook([&] { ++hooked; });
    std::atomic<bool> started = false;
    runner.run([&] {
        started = true;
        return runner.pause(std::chrono::hours(1)) ? TransferOutcome::done()
                                                   : TransferOutcome::cancelled();
    });
    while (!started)
        std::this_thread::yield();
    runner.abort();
    const auto outcome = runner.waitFor(std::chrono::seconds(10));
    ASSERT_TRUE(outcome) << "the pause ended";
    EXPECT_EQ(outcome->kind, TransferOutcome::Kind::CancelledByUser);
    EXPECT_EQ(hooked, 1);
    runner.clearAbort();
    EXPECT_TRUE(runner.pause(std::chrono::milliseconds(1)));

    TransferProgress progress{TransferProgress::Activity::Sending, 5735, 10000, 1, 1, {}};
    EXPECT_EQ(progress.percent(), 57);
    EXPECT_EQ(percentText(5735, 10000), "57.35");
    EXPECT_EQ((TransferProgress{TransferProgress::Activity::Sending, 0, 0, 1, 1, {}}.percent()),
              100);
}

TEST(BatchRun, SendsEachFileWithItsByteOrderAndStopsAtABadOne) {
    test::TempDir dir;
    const Bytes samples = {1, 0, 2, 0, 3, 0, 4, 0};
    writeWaveFile(dir.file("kick.wav"), 1, 22050, samples.data(), samples.size());
    std::uint32_t remaining = static_cast<std::uint32_t>(samples.size());
    writeSampleStream(dir.file("snare.aif"), 2, 44100, remaining,
                      [&](std::uint8_t* block, std::size_t capacity) {
                          const std::size_t n = std::min<std::size_t>(capacity, remaining);
                          std::copy_n(samples.begin(), n, block);
                          remaining -= static_cast<std::uint32_t>(n);
                          return n;
                      });
    test::writeBytes(dir.file("broken.wav"), Bytes{'R', 'I', 'F', 'F', 1, 2});

    EXPECT_EQ(batchFileProblem(dir.file("kick.wav")), BatchFileProblem::None);
    EXPECT_EQ(batchFileProblem(dir.file("gone.wav")), BatchFileProblem::Missing);
    EXPECT_EQ(batchFileProblem(dir.file("broken.wav")), BatchFileProblem::Corrupted);
    EXPECT_EQ(batchAddMessage(BatchFileProblem::Corrupted, "broken.wav"),
              "File broken.wav corrupted!\r\n");
    // An 8-bit file is whole, just not a sample the samplers take: it says so.
    test::writeBytes(dir.file("eight.wav"), test::waveImage(1, 22050, Bytes(100, 0x80), 1, 8));
    EXPECT_EQ(batchFileProblem(dir.file("eight.wav")), BatchFileProblem::NotSixteenBit);
    EXPECT_EQ(batchAddMessage(BatchFileProblem::NotSixteenBit, "eight.wav"),
              "File eight.wav is not a 16 bit sample;\r\nMust be 16bit uncompressed format");

    test::RecordingSamplerDriver driver;
    test::QueuedPoster owner;
    std::optional<BatchResult> result;
    BatchRun batch(driver, owner.poster(), [&](const BatchResult& r) { result = r; });
    BatchRequest request;
    request.protocol = kProtocolAkai;
    request.firstSampleNumber = 5;
    request.autoMap = true;
    request.files = {dir.file("kick.wav"), dir.file("snare.aif")};
    batch.start(request);
    pumpUntil(owner, [&] { return result.has_value(); });
    EXPECT_FALSE(result->aborted);
    EXPECT_EQ(result->filesSent, 2);
    ASSERT_EQ(driver.sent.size(), 2u);
    EXPECT_EQ(driver.sent[0].byteOrder, 0);
    EXPECT_EQ(driver.sent[1].byteOrder, 1);
    EXPECT_EQ(driver.sent[1].sampleNumber, 6);
    EXPECT_EQ(driver.sent[1].channelsSent, 2);
    EXPECT_TRUE(driver.sent[1].batch);
    EXPECT_EQ(driver.sentBytes[0], samples);
    // AIFF holds the same samples big-endian.
    EXPECT_EQ(driver.sentBytes[1], (Bytes{0, 1, 0, 2, 0, 3, 0, 4}));
    EXPECT_EQ(driver.nameList, (std::vector<std::string>{"kick", "snare"}));
    ASSERT_EQ(driver.mappings.size(), 1u);
    EXPECT_EQ(driver.mappings[0].count, 2);

    // A file gone since it was listed ends the batch with its message.
    result.reset();
    driver.sent.clear();
    request.files = {dir.file("kick.wav"), dir.file("gone.wav"), dir.file("snare.aif")};
    batch.start(request);
    pumpUntil(owner, [&] { return result.has_value(); });
    EXPECT_EQ(result->filesSent, 1);
    EXPECT_EQ(result->error, "File not found - file may have been moved or deleted");
    EXPECT_EQ(driver.sent.size(), 1u);
}

} // namespace
} // namespace tolvane
