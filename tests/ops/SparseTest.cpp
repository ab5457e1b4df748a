// Files with holes: the verify reads only what holds data, and the FLASH
// write leaves out blocks that would only program 0xFF.
#include <gtest/gtest.h>

#include <random>

#include "base/FormatText.h"
#include "ops/MemoryBlocks.h"
#include "ops/OpsTestSupport.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

ImageBuffer ImageOf(const Cells& cells) {
    ImageBuffer image;
    image.cells = cells;
    image.count = static_cast<uint32_t>(cells.size());
    return image;
}

Cells Filled(size_t size, std::initializer_list<std::pair<uint32_t, uint32_t>> runs,
             int16_t value = 0x5A) {
    Cells cells(size, kNoData);
    for (const auto& [first, end] : runs)
        std::fill(cells.begin() + first, cells.begin() + end, value);
    return cells;
}

TEST(VerifySpans, OneSpanPerRunOfBlocksTrimmedToTheDataAndCutAtTheLimit) {
    struct Case {
        const char* what;
        Cells cells;
        uint32_t block, unit, max;
        std::vector<ByteSpan> expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"nothing", Cells(512, kNoData), 128, 2, 0x20000, {}},
        {"one byte inside a page, widened to its word", Filled(512, {{0x101, 0x102}}), 128, 2, 0x20000,
         {{0x100, 2}}},
        {"data in adjacent pages across the border", Filled(512, {{0x70, 0x71}, {0x90, 0x93}}), 128, 2, 0x20000,
         {{0x70, 0x24}}},
        {"an empty page between two runs splits them", Filled(512, {{0x10, 0x20}, {0x180, 0x184}}), 128, 2,
         0x20000, {{0x10, 0x10}, {0x180, 4}}},
        {"a hole inside a page is read through", Filled(512, {{0x00, 0x02}, {0x7E, 0x80}}), 128, 2, 0x20000,
         {{0, 0x80}}},
        {"EEPROM bytes need no widening", Filled(64, {{5, 6}, {40, 41}}), 4, 1, 0x10000, {{5, 1}, {40, 1}}},
        {"a long run is cut at the count limit", Filled(256, {{0, 256}}), 8, 1, 100,
         {{0, 100}, {100, 100}, {200, 56}}},
        {"a whole 128 KB memory is one request", Filled(0x20000, {{0, 0x20000}}), 256, 2, 2 * kMaxReadCount,
         {{0, 0x20000}}},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(VerifySpans(ImageOf(c.cells), c.block, c.unit, c.max), c.expected) << c.what;
}

// Read requests of the verify, as byte spans.
std::vector<ByteSpan> ReadRequests(const OpsRig& rig, bool flash) {
    std::vector<ByteSpan> spans;
    for (const std::string& line : rig.Sent()) {
        if (line.size() != 19 || !line.starts_with(flash ? "> 45 " : "> 48 ")) continue;
        const auto address = static_cast<uint32_t>(
            std::stoul(line.substr(5, 2) + line.substr(8, 2) + line.substr(11, 2), nullptr, 16));
        auto count =
            static_cast<uint32_t>(std::stoul(line.substr(14, 2) + line.substr(17, 2), nullptr, 16));
        if (count == 0) count = 0x10000;
        spans.push_back(flash ? ByteSpan{2 * address, 2 * count} : ByteSpan{address, count});
    }
    return spans;
}

struct MemoryCase {
    const char* device;
    bool flash;
};

class SparseVerify : public ::testing::TestWithParam<MemoryCase> {};

// Random images with holes over random device contents, some with bytes
// changed under the file's data: the verify's result and first address are
// those of reading the whole memory and comparing, and its requests read every
// byte with data, no block without data, and one request per run of blocks.
TEST_P(SparseVerify, AgreesWithAWholeReadAndReadsOnlyBlocksWithData) {
    const MemoryCase& mc = GetParam();
    OpsRig rig(mc.device, mc.device);
    const AVR_DEVICE& d = rig.core.Device();
    const size_t size = static_cast<size_t>(mc.flash ? d.FlashBytes() : d.eepromBytes);
    const uint32_t block = mc.flash ? FlashBlockBytes(d) : EepromBlockBytes(d);
    std::vector<uint8_t>& memory = mc.flash ? rig.Target().Flash() : rig.Target().Eeprom();
    std::mt19937 rng(GetParam().flash ? 1201u : 1202u);
    const auto below = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
    int mismatches = 0;

    for (int round = 0; round < 40; ++round) {
        for (auto& b : memory) b = static_cast<uint8_t>(rng());
        Cells cells(size, kNoData);
        for (size_t runs = 1 + below(5); runs > 0; --runs) {
            const size_t first = below(size);
            const size_t end = std::min(size, first + 1 + below(3 * block));
            for (size_t j = first; j < end; ++j) cells[j] = below(4) == 0 ? kNoData : memory[j];
        }
        std::vector<size_t> data;
        for (size_t j = 0; j < size; ++j)
            if (cells[j] != kNoData) data.push_back(j);
        if (data.empty()) continue;
        for (size_t n = below(4); n > 0; --n)
            memory[data[below(data.size())]] ^= static_cast<uint8_t>(1 + below(255));
        const std::string file = rig.WriteImage("s.s", cells);

        rig.ClearLog();
        const bool ok =
            mc.flash ? rig.core.VerifyFlash(file, OpOptions{.timing = false}) : rig.core.VerifyEeprom(file, OpOptions{.timing = false});
        const std::vector<std::string> texts = rig.Texts();
        const std::vector<ByteSpan> requests = ReadRequests(rig, mc.flash);

        ASSERT_TRUE(mc.flash ? rig.core.ReadFlash(0, false) : rig.core.ReadEeprom(0));
        const std::vector<uint8_t>& whole =
            mc.flash ? rig.core.FlashRead() : rig.core.EepromRead();
        std::string expected = mc.flash ? text::kFlashVerifyOk : text::kEepromVerifyOk;
        for (size_t j : data) {
            if (whole[j] == static_cast<uint8_t>(cells[j])) continue;
            expected = FormatText(mc.flash ? text::kFlashVerifyError : text::kEepromVerifyError,
                                  static_cast<unsigned>(j));
            ++mismatches;
            break;
        }
        EXPECT_EQ(texts, std::vector<std::string>{expected}) << "round " << round;
        EXPECT_EQ(ok, expected == (mc.flash ? text::kFlashVerifyOk : text::kEepromVerifyOk));

        std::vector<int> readCount(size, 0);
        for (const ByteSpan& s : requests)
            for (uint32_t j = s.first; j < s.first + s.size; ++j) ++readCount[j];
        size_t runs = 0;
        bool previous = false;
        for (size_t b = 0; b < size; b += block) {
            bool hasData = false;
            int read = 0;
            for (size_t j = b; j < b + block; ++j) {
                hasData = hasData || cells[j] != kNoData;
                read += readCount[j];
                if (cells[j] != kNoData) {
                    EXPECT_EQ(readCount[j], 1) << "round " << round << " byte " << j;
                }
            }
            if (!hasData) {
                EXPECT_EQ(read, 0) << "round " << round << " block at " << b;
            }
            runs += hasData && !previous ? 1 : 0;
            previous = hasData;
        }
        EXPECT_EQ(requests.size(), runs) << "round " << round;
    }
    EXPECT_GT(mismatches, 5);  // the injected differences did happen
}

INSTANTIATE_TEST_SUITE_P(
    Memories, SparseVerify,
    ::testing::Values(MemoryCase{"ATmega328P", true}, MemoryCase{"AT90S2313", true},
                      MemoryCase{"ATtiny12", true}, MemoryCase{"ATmega328P", false},
                      MemoryCase{"ATmega8", false}),
    [](const auto& param) {
        return std::string(param.param.device) + (param.param.flash ? "Flash" : "Eeprom");
    });

TEST(SparseVerifyRequests, BootLoaderAtTheTopReadsOnlyItsOwnFourKilobytes) {
    OpsRig rig("ATmega128", "ATmega128");
    const std::string file = rig.WriteImage("boot.s", Filled(0x20000, {{0x1F000, 0x20000}}, 0xFF));
    ASSERT_TRUE(rig.core.VerifyFlash(file, OpOptions{.timing = false}));
    EXPECT_EQ(rig.Sent(), (std::vector<std::string>{"> 41 00", "> 45 00 F8 00 08 00", "> 42"}));
    const ProgressRecord& bar = rig.host.LastProgress();
    EXPECT_EQ(bar.message, text::kFlashReading);
    EXPECT_EQ(bar.positions.back(), 32);  // the bar counts the 4 KB, not the address
}

TEST(SparseVerifyRequests, EachRunOfPagesIsOneRequestAndTheTimingStillPrecedesTheEepromRead) {
    OpsRig rig("ATmega328P", "ATmega328P");  // FLASH pages of 128 bytes, EEPROM pages of 4
    ASSERT_TRUE(rig.core.VerifyFlash(rig.WriteImage("f.s", Filled(0x400, {{0x0F0, 0x110}, {0x300, 0x301}}, 0xFF)), OpOptions{.timing = false}));
    EXPECT_EQ(rig.Sent(), (std::vector<std::string>{"> 41 00", "> 45 00 00 78 00 10",
                                                    "> 45 00 01 80 00 01", "> 42"}));
    rig.ClearLog();
    ASSERT_TRUE(rig.core.VerifyEeprom(rig.WriteImage("e.s", Filled(64, {{2, 3}, {9, 12}, {60, 64}}, 0xFF)), OpOptions{.timing = false}));
    const std::vector<std::string> sent = WithoutTiming(rig.Sent());
    EXPECT_EQ(sent,
              (std::vector<std::string>{"> 41 00", "> 48 00 00 02 00 01", "> 48 00 00 09 00 03",
                                        "> 48 00 00 3C 00 04", "> 42"}));
    EXPECT_TRUE(rig.Sent()[0].starts_with("> 54 "));
}

TEST(SparseVerifyRequests, LeavesTheLastWholeReadForTheViewsAsItWas) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.Target().Flash()[0x10] = 0x12;
    ASSERT_TRUE(rig.core.ReadFlash(0, false));
    const std::vector<uint8_t> whole = rig.core.FlashRead();
    rig.Target().Flash()[0x10] = 0x02;
    EXPECT_FALSE(
        rig.core.VerifyFlash(rig.WriteImage("v.s", Filled(0x200, {{0x100, 0x102}}, 0x00)), OpOptions{.timing = false}));
    EXPECT_EQ(rig.core.FlashRead(), whole);
}

TEST(WriteFlash, BlocksOfOnlyFfAreNeitherReadNorSent) {
    OpsRig rig("ATmega328P", "ATmega328P");
    Cells cells =
        Filled(0x200, {{0x000, 0x080}, {0x100, 0x110}}, 0xFF);  // page 0 full, page 2 partly
    std::fill(cells.begin() + 0x80, cells.begin() + 0x100, int16_t{0x33});   // page 1 full of data
    std::fill(cells.begin() + 0x180, cells.begin() + 0x190, int16_t{0x44});  // page 3 partly
    ASSERT_TRUE(rig.core.WriteFlash(rig.WriteImage("ff.s", cells), {.timing = false, .verify = false}));
    std::vector<std::string> requests;
    for (const std::string& line : rig.Sent())
        if (line.size() == 19 && (line.starts_with("> 45") || line.starts_with("> 46")))
            requests.push_back(line);
    EXPECT_EQ(requests, (std::vector<std::string>{"> 46 00 00 40 00 40", "> 45 00 00 C0 00 40",
                                                  "> 46 00 00 C0 00 40"}));
    EXPECT_EQ(rig.host.LastProgress().positions, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(rig.Target().Flash()[0x80], 0x33);
    EXPECT_EQ(rig.Target().Flash()[0x18F], 0x44);
}

TEST(WriteFlash, ChunkOfOnlyFfOnADeviceHoldingZerosIsLeftAloneAndTheVerifyNamesIt) {
    OpsRig rig("AT90S2313", "AT90S2313");  // chunks of 64 bytes
    rig.Target().Flash()[0x45] = 0x00;
    const std::string file = rig.WriteImage("c.s", Filled(0x80, {{0x40, 0x48}}, 0xFF));
    // The verify that follows the write gives the result.
    EXPECT_FALSE(rig.core.WriteFlash(file, {.timing = false, .verify = true}));
    for (const std::string& line : rig.Sent()) EXPECT_FALSE(line.starts_with("> 47")) << line;
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"FLASH ベリファイ エラー: 000045"});
}

}  // namespace
}  // namespace oriole::test
