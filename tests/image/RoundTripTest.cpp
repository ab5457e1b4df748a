// Whatever the writer saves, the reader loads back: every written byte at its
// address, no data where an erased block was left out.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <random>
#include <vector>

#include "image/ImageBuffer.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"
#include "support/RecordingHost.h"

namespace oriole {
namespace {

struct Memory {
    std::vector<uint8_t> bytes;
    std::vector<bool> blockWritten;  // per 16-byte block, as saved without save-all
};

// Erased memory with random blocks of random data; some of those hold 0xFF
// runs, and a few are all 0xFF again and so get left out.
Memory RandomMemory(uint32_t length, uint32_t dataBlocks, uint32_t seed) {
    std::mt19937 rng(seed);
    Memory m{std::vector<uint8_t>(length, 0xFF), std::vector<bool>(length / 16, false)};
    std::uniform_int_distribution<uint32_t> pickBlock(0, length / 16 - 1);
    for (uint32_t i = 0; i < dataBlocks; ++i) {
        const uint32_t block = pickBlock(rng);
        const int style = static_cast<int>(rng() % 8);
        for (uint32_t k = 0; k < 16; ++k) {
            uint8_t value = static_cast<uint8_t>(rng());
            if (style == 0) value = 0xFF;                // still erased
            if (style == 1 && k % 2 == 0) value = 0xFF;  // partly erased
            if (style == 2 && k != 9) value = 0xFF;      // one programmed byte
            m.bytes[block * 16 + k] = value;
        }
    }
    for (uint32_t block = 0; block < length / 16; ++block) {
        const auto* p = &m.bytes[block * 16];
        m.blockWritten[block] = std::any_of(p, p + 16, [](uint8_t v) { return v != 0xFF; });
    }
    return m;
}

struct RoundTripCase {
    uint32_t length;
    uint32_t dataBlocks;
    bool saveAllToo;  // also save every block (skipped for the largest size)
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, ReaderGetsBackWhatWriterSaved) {
    const RoundTripCase c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        const Memory m = RandomMemory(c.length, c.dataBlocks, seed * 7919 + c.length);
        for (ImageFormat format : {ImageFormat::IntelHex, ImageFormat::SRecord}) {
            for (bool saveAll : {false, true}) {
                if (saveAll && !c.saveAllToo) continue;
                SCOPED_TRACE(testing::Message()
                             << "seed " << seed << " format " << SaveFormatCode(format) << " saveAll " << saveAll);
                test::RecordingHost host;
                const QString path = dir.filePath(format == ImageFormat::IntelHex ? "m.hex" : "m.mot");
                ASSERT_TRUE(SaveImageFile(host, path, format, saveAll, m.bytes.data(), c.length));

                ImageBuffer image;
                image.Allocate(c.length);
                uint32_t lowest = 0;
                uint32_t highest = 0;
                ASSERT_TRUE(LoadImageFile(host, path, image, lowest, highest));
                EXPECT_TRUE(host.messages.empty());

                uint32_t end = 0;  // one past the last byte saved
                for (uint32_t a = 0; a < c.length; ++a) {
                    const bool saved = saveAll || m.blockWritten[a / 16];
                    const int16_t expected = saved ? int16_t{m.bytes[a]} : kNoData;
                    if (saved) end = a + 1;
                    ASSERT_EQ(image.cells[a], expected) << "address " << a;
                }
                EXPECT_EQ(image.count, end);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip,
                         ::testing::Values(RoundTripCase{16, 1, true},
                                           RoundTripCase{8 * 1024, 40, true},
                                           RoundTripCase{32 * 1024, 300, true},  // S1, no type 04
                                           RoundTripCase{64 * 1024, 500, true},  // S2, one type 04
                                           RoundTripCase{128 * 1024, 1000, true},   // two segments
                                           RoundTripCase{0x1000010, 400, false}));  // S3

}  // namespace
}  // namespace oriole
