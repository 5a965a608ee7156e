#include "document/ClipboardImage.h"

#include "document/SampleDocument.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(ClipboardImage, HasTheFixedHeader) {
    const std::vector<std::uint8_t> samples = {1, 0, 2, 0, 3, 0, 4, 0};
    const auto image = makeClipboardImage(samples, 2, 44100, 176400, 16);
    ASSERT_EQ(image.size(), 46u + 8);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 4), "RIFF");
    EXPECT_EQ(image[4], 8 + 38);
    EXPECT_EQ(std::string(image.begin() + 8, image.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(image[16], 18);
    EXPECT_EQ(image[20], 1);
    EXPECT_EQ(image[22], 2);
    EXPECT_EQ(image[24] | image[25] << 8, 44100);
    EXPECT_EQ(image[32], 4);
    EXPECT_EQ(image[34], 16);
    EXPECT_EQ(image[36], 0);
    EXPECT_EQ(std::string(image.begin() + 38, image.begin() + 42), "data");
    EXPECT_EQ(image[42], 8);
    EXPECT_EQ(image[46], 1);
}

TEST(ClipboardImage, PasteReadsFormatAndDataAndRefusesOtherItems) {
    const std::vector<std::uint8_t> samples = {1, 0, 2, 0, 3, 0};
    const auto image = makeClipboardImage(samples, 1, 22050, 44100, 16);
    const auto pasted = readPastedSample(image);
    ASSERT_TRUE(pasted);
    EXPECT_EQ(pasted->channels, 1);
    EXPECT_EQ(pasted->rate, 22050u);
    EXPECT_EQ(pasted->bits, 16);
    EXPECT_EQ(pasted->data, samples);
    const auto segment = pastedSegmentBytes(image);
    ASSERT_TRUE(segment);
    EXPECT_EQ(std::vector<std::uint8_t>(segment->begin(), segment->end()), samples);

    std::vector<std::uint8_t> notRiff = image;
    notRiff[0] = 'X';
    EXPECT_FALSE(readPastedSample(notRiff));
    EXPECT_FALSE(pastedSegmentBytes(notRiff));
    // A declared length beyond the item is cut to what it holds.
    std::vector<std::uint8_t> cut(image.begin(), image.end() - 2);
    EXPECT_EQ(readPastedSample(cut)->data.size(), 4u);
    EXPECT_FALSE(readPastedSample(std::vector<std::uint8_t>{'R', 'I', 'F', 'F'}));
}

TEST(ClipboardImage, PasteRefusesRatesNoSampleHas) {
    const std::vector<std::uint8_t> samples(40, 1);
    EXPECT_TRUE(readPastedSample(makeClipboardImage(samples, 1, kMaxSampleRate, 0, 16)));
    EXPECT_FALSE(readPastedSample(makeClipboardImage(samples, 1, kMaxSampleRate + 1, 0, 16)));
    EXPECT_FALSE(readPastedSample(makeClipboardImage(samples, 1, 0, 0, 16)));
}

} // namespace
} // namespace tolvane
