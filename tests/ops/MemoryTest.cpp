// FLASH and EEPROM write, read and verify on the wire: the paged and chunked
// methods with their skip, read-back and merge rules, the whole-memory reads
// with their progress, and the verify messages.
#include <gtest/gtest.h>

#include "ops/OpsTestSupport.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

std::string Repeat(const char* hex, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        if (i > 0) out += ' ';
        out += hex;
    }
    return out;
}

std::string Hex(std::span<const uint8_t> bytes) { return sim::HexBytes(bytes); }

Cells Sparse(size_t size, std::initializer_list<std::pair<uint32_t, uint8_t>> bytes) {
    Cells cells(size, kNoData);
    for (const auto& [address, value] : bytes) cells[address] = value;
    return cells;
}

TEST(WriteFlash, PartialPageIsReadMergedAndWrittenInFourPieces) {
    OpsRig rig("ATmega328P", "ATmega328P");  // 64-word pages
    const std::string file =
        rig.WriteImage("p.s", Sparse(0x104, {{0x100, 0x11}, {0x101, 0x22}, {0x102, 0x33}, {0x103, 0x44}}));
    ASSERT_TRUE(rig.core.WriteFlash(file, {.timing = false, .verify = false}));

    std::vector<uint8_t> page(128, 0xFF);
    page[0] = 0x11, page[1] = 0x22, page[2] = 0x33, page[3] = 0x44;
    const std::span<const uint8_t> all(page);
    EXPECT_EQ(rig.Lines(), Concat({kEnter,
                                   {"> 45 00 00 80 00 40", "< " + Repeat("FF", 128),  //
                                    "> 46 00 00 80 00 40",                            //
                                    "> " + Hex(all.subspan(0, 32)), "< 01",           //
                                    "> " + Hex(all.subspan(32, 32)), "< 01",          //
                                    "> " + Hex(all.subspan(64, 32)), "< 01",          //
                                    "> " + Hex(all.subspan(96, 32)), "< 01", "< 86"},
                                   kLeave}));
    const ProgressRecord& bar = rig.host.LastProgress();
    EXPECT_EQ(bar.caption, text::kFlashCaption);
    EXPECT_EQ(bar.message, text::kFlashWriting);
    EXPECT_EQ(bar.upper, 3);
    EXPECT_EQ(bar.positions, std::vector<int32_t>{2});
    EXPECT_TRUE(bar.destroyed);
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashWriteDone});
    EXPECT_EQ(rig.Target().Flash()[0x102], 0x33);
}

TEST(WriteFlash, FullPagesAreNotReadBackAndEmptyPagesAreSkipped) {
    OpsRig rig("ATmega328P", "ATmega328P");
    Cells cells(3 * 128, kNoData);
    for (size_t i = 0; i < 128; ++i) cells[i] = static_cast<int16_t>(i);          // page 0 full
    for (size_t i = 256; i < 384; ++i) cells[i] = static_cast<int16_t>(i & 0x7F);  // page 2 full
    ASSERT_TRUE(rig.core.WriteFlash(rig.WriteImage("f.s", cells), {.timing = false, .verify = false}));
    std::vector<std::string> requests;
    for (const std::string& line : rig.Sent())
        if (line.size() == 19 && (line.starts_with("> 45") || line.starts_with("> 46"))) requests.push_back(line);
    EXPECT_EQ(requests, (std::vector<std::string>{"> 46 00 00 00 00 40", "> 46 00 00 80 00 40"}));
    EXPECT_EQ(rig.host.LastProgress().positions, (std::vector<int32_t>{0, 2}));
}

TEST(WriteFlash, MergeStopsWhereTheDeviceHoldsAZeroAndVerifyNamesIt) {
    OpsRig rig("ATmega328P", "ATmega328P");
    rig.Target().Flash()[0x105] = 0x00;
    Cells cells(0x110, kNoData);
    for (size_t i = 0x100; i < 0x110; ++i) cells[i] = 0x01;
    const std::string file = rig.WriteImage("m.s", cells);
    // The verify that follows the write gives the result.
    EXPECT_FALSE(rig.core.WriteFlash(file, {.timing = false, .verify = true}));
    EXPECT_EQ(rig.Target().Flash()[0x104], 0x01);
    EXPECT_EQ(rig.Target().Flash()[0x105], 0x00);
    EXPECT_EQ(rig.Target().Flash()[0x106], 0xFF);  // the device's byte, not the file's
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"FLASH ベリファイ エラー: 000105"});
    EXPECT_EQ(rig.host.recorder.messages[0].kind, MsgKind::Warning);
}

// A bad chip of the simulated box (stuck cells): the write's verify names the
// stuck cell and the write fails; cells elsewhere, or one stuck at the byte
// written, verify.
TEST(WriteThenVerify, AStuckCellFailsTheVerifyWhereItIs) {
    const struct {
        const char* options;
        bool eeprom;
        bool ok;
        std::string text;
    } cases[] = {
        {"ATmega328P,fast,stuck=flash:0x0123", false, false, "FLASH ベリファイ エラー: 000123"},
        {"ATmega328P,fast,stuck=flash:0x0123:0x23", false, true, text::kFlashVerifyOk},  // the byte written
        {"ATmega328P,fast,stuck=flash:0x0200", false, true, text::kFlashVerifyOk},  // outside the data
        {"ATmega328P,fast,stuck=eeprom:0x13:0x00", true, false, "EEPROM ベリファイ エラー: 000013"},
        {"ATmega328P,fast,stuck=eeprom:0x13", false, true, text::kFlashVerifyOk},  // FLASH is good
        {"ATmega328P,fast,bad=1", false, false, "FLASH ベリファイ エラー: 000000"},
        {"ATmega328P,fast,bad=2", false, true, text::kFlashVerifyOk},  // the first chip is good
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        std::string error;
        const auto config = sim::ParseSimOptions(c.options, error);
        ASSERT_TRUE(config) << error;
        OpsRig rig(*config, "ATmega328P");
        Cells cells(0x140);
        for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<int16_t>(i & 0xFF);
        const std::string file = rig.WriteImage("s.s", cells);
        const bool ok = c.eeprom ? rig.core.WriteEeprom(file, {.timing = false, .verify = true})
                                 : rig.core.WriteFlash(file, {.timing = false, .verify = true});
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{c.text});
    }
}

TEST(WriteFlash, OddUsedLengthOnAChunkedDeviceProgramsTheLastWord) {
    OpsRig rig("AT90S2313", "AT90S2313");  // no pages: chunks of 32 words
    const std::string file = rig.WriteImage("o.s", {0x10, 0x20, 0x30, 0x40, 0x50});
    rig.window.Controls().SetText(ctl_id::kFlashFile, file);
    ASSERT_TRUE(rig.core.WriteFlash(file, {.timing = false, .verify = true}));
    const auto lines = rig.Lines();
    // The partly covered chunk is read, then written in one send.
    EXPECT_EQ(lines[2], "> 45 00 00 00 00 20");
    EXPECT_EQ(lines[4], "> 47 00 00 00 00 20");
    EXPECT_EQ(lines[5], "> 10 20 30 40 50 " + Repeat("FF", 59));
    EXPECT_EQ(lines[6], "< 87");
    // The verify reads the used length rounded up to whole words.
    EXPECT_NE(std::find(lines.begin(), lines.end(), "> 45 00 00 00 00 03"), lines.end());
    EXPECT_EQ(rig.Target().Flash()[4], 0x50);
    EXPECT_EQ(rig.Target().Flash()[5], 0xFF);
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashVerifyOk});
}

TEST(WriteFlash, Attiny12TakesChunksOfFourWords) {
    OpsRig rig("ATtiny12", "ATtiny12");
    ASSERT_TRUE(rig.core.WriteFlash(rig.WriteImage("t.s", Cells(16, 0x5A)), {.timing = false, .verify = false}));
    EXPECT_EQ(WithoutTiming(rig.Lines()),
              Concat({kEnter,
                      {"> 47 00 00 00 00 04", "> " + Repeat("5A", 8), "< 87", "> 47 00 00 04 00 04",
                       "> " + Repeat("5A", 8), "< 87"},
                      kLeave}));
    EXPECT_EQ(rig.host.LastProgress().positions, (std::vector<int32_t>{0, 1}));
}

TEST(WriteFlash, EndRecordOnlySendsNoBlockAndReportsSuccess) {
    OpsRig rig("ATmega328P", "ATmega328P");
    ASSERT_TRUE(rig.core.WriteFlash(rig.WriteText("e.hex", ":00000001FF\r\n"), {.timing = false, .verify = false}));
    EXPECT_EQ(rig.Lines(), Concat({kEnter, kLeave}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashWriteDone});
    EXPECT_EQ(rig.core.FlashImage().count, 0u);
}

TEST(WriteFlash, LoaderFailureSendsNothingButTheFrame) {
    OpsRig rig("ATmega328P", "ATmega328P");
    const std::string missing = rig.dir.filePath("missing.hex").toStdString();
    EXPECT_FALSE(rig.core.WriteFlash(missing, {.timing = false, .verify = false}));
    EXPECT_EQ(rig.Lines(), Concat({kEnter, kLeave}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFileOpenFailed + (": " + missing)});
    EXPECT_TRUE(rig.host.progress.empty());
}

TEST(WriteFlash, QuietBitSuppressesMessageAndVerify) {
    OpsRig rig("ATmega328P", "ATmega328P");
    const std::string file = rig.WriteImage("q.s", Cells(8, 0x00));
    rig.window.Controls().SetText(ctl_id::kFlashFile, file);
    ASSERT_TRUE(rig.core.WriteFlash(file, {.timing = false, .confirm = false, .report = false, .verify = true}));
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_EQ(rig.Opens(), 1);
}

TEST(WriteFlash, VerifyAfterWriteChecksTheDeviceAgainWithoutTiming) {
    OpsRig rig("ATmega328P");  // auto-detect on
    const std::string file = rig.WriteImage("v.s", Cells(300, 0x42));
    rig.window.Controls().SetText(ctl_id::kFlashFile, file);
    ASSERT_TRUE(rig.core.WriteFlash(file, {.timing = true, .verify = true}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kFlashVerifyOk});
    // Write, the verify's check, the verify's read: three openings, and only
    // the first sends the timing.
    EXPECT_EQ(rig.Opens(), 3);
    int timings = 0;
    for (const std::string& line : rig.Sent()) timings += line.starts_with("> 54 ") ? 1 : 0;
    EXPECT_EQ(timings, 2);
}

TEST(VerifyFlash, FirstDifferenceIsNamedWithSixFigures) {
    OpsRig rig("ATmega8", "ATmega8");
    Cells cells(0x200);
    for (size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<int16_t>(i & 0xFF);
    for (size_t i = 0; i < cells.size(); ++i) rig.Target().Flash()[i] = static_cast<uint8_t>(i & 0xFF);
    rig.Target().Flash()[0x1A3] ^= 0x04;
    rig.Target().Flash()[0x1F0] ^= 0x04;
    EXPECT_FALSE(rig.core.VerifyFlash(rig.WriteImage("x.s", cells), OpOptions{.timing = true}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"FLASH ベリファイ エラー: 0001A3"});
    rig.ClearLog();
    EXPECT_FALSE(rig.core.VerifyFlash(rig.WriteImage("x.s", cells), Quietly(true)));
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(ReadFlash, FullSixtyFourKiloWordMemorySendsCountZero) {
    OpsRig rig("ATmega128", "ATmega128");
    rig.Target().Flash()[0x1FFFF] = 0x5C;
    ASSERT_TRUE(rig.core.ReadFlash(0, false));
    EXPECT_EQ(rig.Sent(), Concat({{"> 41 00", "> 45 00 00 00 00 00", "> 42"}}));
    ASSERT_EQ(rig.core.FlashRead().size(), 131072u);
    EXPECT_EQ(rig.core.FlashRead()[0x1FFFF], 0x5C);
    const ProgressRecord& bar = rig.host.LastProgress();
    EXPECT_EQ(bar.message, text::kFlashReading);
    EXPECT_EQ(bar.upper, 32);
    EXPECT_EQ(bar.positions.back(), 32);
    EXPECT_TRUE(std::is_sorted(bar.positions.begin(), bar.positions.end()));
    EXPECT_EQ(std::adjacent_find(bar.positions.begin(), bar.positions.end()), bar.positions.end());
    EXPECT_TRUE(bar.destroyed);
}

TEST(ReadFlash, LengthIsRoundedToWordsAndShortReadsStepByOne) {
    OpsRig rig("ATmega8", "ATmega8");
    ASSERT_TRUE(rig.core.ReadFlash(5, false));
    EXPECT_EQ(rig.Sent()[1], "> 45 00 00 00 00 03");
    EXPECT_EQ(rig.core.FlashRead().size(), 6u);
    // Fewer than 32 bytes: the step is one byte.
    EXPECT_EQ(rig.host.LastProgress().positions.back(), 6);
}

TEST(ReadEeprom, AlwaysSendsTimingAndKeepsTheExactLength) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.Target().Eeprom()[2] = 0x77;
    ASSERT_TRUE(rig.core.ReadEeprom(3));
    EXPECT_EQ(WithoutTiming(rig.Lines()), Concat({kEnter, {"> 48 00 00 00 00 03", "< FF FF 77"}, kLeave}));
    EXPECT_NE(rig.Lines()[0], "> 41 00");  // the timing came first
    EXPECT_EQ(rig.core.EepromRead(), (std::vector<uint8_t>{0xFF, 0xFF, 0x77}));
    EXPECT_EQ(rig.host.LastProgress().caption, text::kEepromCaption);
    EXPECT_EQ(rig.host.LastProgress().message, text::kEepromReading);
}

TEST(WriteEeprom, PagedPartialPageIsReadAndWrittenTwoBytesPerSend) {
    OpsRig rig("ATmega328P", "ATmega328P");  // 4-byte pages
    rig.Target().Eeprom()[3] = 0x99;
    ASSERT_TRUE(rig.core.WriteEeprom(rig.WriteImage("e.s", {0x01, 0x02, 0x03}), {.timing = false, .verify = false}));
    EXPECT_EQ(rig.Lines(), Concat({kEnter,
                                   {"> 48 00 00 00 00 04", "< FF FF FF 99", "> 49 00 00 00 00 04", "> 01 02",
                                    "> 03 99", "< 89"},
                                   kLeave}));
    EXPECT_EQ(rig.host.LastProgress().caption, text::kEepromCaption);
    EXPECT_EQ(rig.host.LastProgress().message, text::kEepromWriting);
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kEepromWriteDone});
}

TEST(WriteEeprom, ChunkedKeepsTheBytesTheFileLeavesOutAndPacesTheData) {
    OpsRig rig("ATmega8", "ATmega8");  // no EEPROM pages: 32-byte chunks
    std::fill(rig.Target().Eeprom().begin(), rig.Target().Eeprom().end(), uint8_t{0x11});
    Cells cells(73, kNoData);
    std::fill(cells.begin(), cells.begin() + 32, int16_t{0x22});  // chunk 0 full
    cells[72] = 0x5C;                                               // chunk 1 empty, chunk 2 partial
    ASSERT_TRUE(rig.core.WriteEeprom(rig.WriteImage("c.s", cells), {.timing = false, .verify = false}));
    std::string third = Repeat("11", 32);
    third.replace(8 * 3, 2, "5C");
    EXPECT_EQ(rig.Lines(), Concat({kEnter,
                                   {"> 4A 00 00 00 00 20", "> " + Repeat("22", 32), "< 8A",
                                    "> 48 00 00 40 00 20", "< " + Repeat("11", 32),  //
                                    "> 4A 00 00 40 00 20", "> " + third, "< 8A"},
                                   kLeave}));
    for (size_t i = 32; i < 64; ++i) ASSERT_EQ(rig.Target().Eeprom()[i], 0x11) << i;
    EXPECT_EQ(rig.Target().Eeprom()[71], 0x11);
    EXPECT_EQ(rig.Target().Eeprom()[72], 0x5C);
    EXPECT_EQ(rig.Target().Eeprom()[73], 0x11);
    using std::chrono::milliseconds;
    EXPECT_EQ(rig.host.sleeps, (std::vector<milliseconds>{milliseconds(1), milliseconds(10), milliseconds(1),
                                                          milliseconds(10)}));
    EXPECT_EQ(rig.host.LastProgress().positions, (std::vector<int32_t>{0, 2}));
}

TEST(VerifyEeprom, ReadsOnlyTheBytesWithData) {
    OpsRig rig("ATmega328P", "ATmega328P");
    rig.Target().Eeprom()[1] = 0x22;
    EXPECT_TRUE(rig.core.VerifyEeprom(rig.WriteImage("v.s", Sparse(2, {{1, 0x22}})), OpOptions{.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kEepromVerifyOk});
    EXPECT_EQ(WithoutTiming(rig.Lines()), Concat({kEnter, {"> 48 00 00 01 00 01", "< 22"}, kLeave}));
    rig.ClearLog();
    EXPECT_FALSE(rig.core.VerifyEeprom(rig.WriteImage("w.s", Sparse(2, {{1, 0x23}})), OpOptions{.timing = false}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{"EEPROM ベリファイ エラー: 000001"});
}

}  // namespace
}  // namespace oriole::test
