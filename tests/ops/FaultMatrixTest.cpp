// Every operation kind against every kind of failure, injected at its first,
// a middle and its last block: a time-out, a wrong acknowledge, a driver
// error and a Cancel. Whatever happens, the user sees exactly one message
// (none for a Cancel), m_nAbort tells what
// happened, the progress window is gone, B still goes out and the link is
// closed, and nothing waits for ever.
#include <gtest/gtest.h>

#include <functional>

#include "base/FormatText.h"
#include "link/Requests.h"
#include "ops/OpsTestSupport.h"
#include "res/Texts.h"
#include "support/ForwardingDriver.h"

namespace oriole::test {
namespace {

enum class Fault { Timeout, WrongAck, DriverError, Cancel };
enum class Where { First, Middle, Last };

const char* Name(Fault f) {
    switch (f) {
        case Fault::Timeout: return "Timeout";
        case Fault::WrongAck: return "WrongAck";
        case Fault::DriverError: return "DriverError";
        case Fault::Cancel: return "Cancel";
    }
    return "";
}
const char* Name(Where w) {
    switch (w) {
        case Where::First: return "First";
        case Where::Middle: return "Middle";
        case Where::Last: return "Last";
    }
    return "";
}

bool IsMemoryCommand(uint8_t c) { return c >= kCmdReadFlash && c <= kCmdWriteEepromBytes; }

// The simulated box's driver with one fault injected on the wire: at the
// n-th request of one command (a write op's block), or at a byte offset of
// that request's reply (a read's stream).
class FaultyDriver final : public ForwardingDriver {
public:
    FaultyDriver(std::shared_ptr<sim::CSimBox> box, OpsHost& host) : ForwardingDriver(box), m_box(box), m_host(host) {}

    void Arm(uint8_t command, int request, Fault fault, std::optional<size_t> replyOffset) {
        m_command = command;
        m_request = request;
        m_fault = fault;
        m_replyOffset = replyOffset;
    }
    bool Triggered() const { return m_triggered; }

    DriverStatus GetQueueStatus(uint32_t& queued) override {
        const DriverStatus status = m_inner.GetQueueStatus(queued);
        if (m_stalled) queued = 0;
        return status;
    }
    void WaitForData(std::chrono::milliseconds timeout) override {
        // A stalled reply brings nothing: the whole wait passes.
        if (m_stalled) {
            m_box->Clock().SleepFor(timeout);
            return;
        }
        m_inner.WaitForData(timeout);
    }

    DriverStatus Write(std::span<const uint8_t> bytes, uint32_t& written) override {
        m_inReply = false;
        m_stalled = false;
        const bool request = !bytes.empty() && bytes[0] == m_command &&
                             (!IsMemoryCommand(m_command) || bytes.size() == 6);
        if (request && ++m_requests == m_request) {
            m_triggered = true;
            if (m_replyOffset) {
                m_inReply = true;
                m_replyBytes = 0;
            } else {
                switch (m_fault) {
                    case Fault::Timeout: m_box->Faults().mute.push_back({m_command, 0}); break;
                    case Fault::WrongAck: m_flipAck = true; break;
                    case Fault::Cancel: m_host.RequestCancel(); break;
                    case Fault::DriverError:
                        written = 0;
                        return kFtIoError;
                }
            }
        }
        return m_inner.Write(bytes, written);
    }

    DriverStatus Read(std::span<uint8_t> bytes, uint32_t& read) override {
        read = 0;
        if (m_stalled) return kFtOk;
        if (m_inReply && m_replyBytes >= *m_replyOffset) {
            m_inReply = false;
            if (m_fault == Fault::DriverError) return kFtIoError;
            if (m_fault == Fault::Timeout) {
                m_stalled = true;  // the rest of the reply never comes
                return kFtOk;
            }
            // The click comes before the next packet.
            m_host.RequestCancel();
            return kFtOk;
        }
        // A reply comes in packets; the fault falls between two of them.
        if (m_inReply) bytes = bytes.first(std::min(bytes.size(), *m_replyOffset - m_replyBytes));
        const DriverStatus status = m_inner.Read(bytes, read);
        m_replyBytes += read;
        if (m_flipAck) {
            for (uint32_t i = 0; i < read; ++i) {
                if (bytes[i] == Ack(m_command)) {
                    bytes[i] ^= 0x80;
                    m_flipAck = false;
                    break;
                }
            }
        }
        return status;
    }

private:
    std::shared_ptr<sim::CSimBox> m_box;
    OpsHost& m_host;
    uint8_t m_command = 0;
    int m_request = 0;
    Fault m_fault = Fault::Timeout;
    std::optional<size_t> m_replyOffset;
    int m_requests = 0;
    bool m_triggered = false;
    bool m_flipAck = false;
    bool m_inReply = false;
    bool m_stalled = false;
    size_t m_replyBytes = 0;
};

struct OpKind {
    const char* name;
    const char* device;
    uint8_t command;    // the command whose requests are the blocks
    int blocks;         // requests of that command the operation sends
    size_t replyBytes;  // > 0: the blocks are one streamed reply of this size
    bool acknowledged;  // the command answers with a completion byte
    bool progress;      // runs a progress window (a Cancel is possible)
    std::function<bool(OpsRig&)> run;
};

std::string Image(OpsRig& rig, size_t bytes) {
    Cells cells(bytes);
    for (size_t i = 0; i < bytes; ++i) cells[i] = static_cast<int16_t>((i * 7) & 0xFF);
    return rig.WriteImage("image.s", cells);
}

const std::vector<OpKind>& Kinds() {
    static const std::vector<OpKind> kinds = {
        {"WriteFlashPages", "ATmega328P", kCmdWriteFlashPage, 5, 0, true, true,
         [](OpsRig& r) { return r.core.WriteFlash(Image(r, 5 * 128), {.timing = true, .verify = false}); }},
        {"WriteFlashChunks", "AT90S2313", kCmdWriteFlashWords, 5, 0, true, true,
         [](OpsRig& r) { return r.core.WriteFlash(Image(r, 5 * 64), {.timing = true, .verify = false}); }},
        {"WriteEepromPages", "ATmega328P", kCmdWriteEepromPage, 5, 0, true, true,
         [](OpsRig& r) { return r.core.WriteEeprom(Image(r, 5 * 4), {.timing = true, .verify = false}); }},
        {"WriteEepromChunks", "ATmega8", kCmdWriteEepromBytes, 5, 0, true, true,
         [](OpsRig& r) { return r.core.WriteEeprom(Image(r, 5 * 32), {.timing = true, .verify = false}); }},
        {"ReadFlash", "ATmega8", kCmdReadFlash, 1, 8192, false, true,
         [](OpsRig& r) { return r.core.ReadFlash(0, true); }},
        {"ReadEeprom", "ATmega8", kCmdReadEeprom, 1, 512, false, true,
         [](OpsRig& r) { return r.core.ReadEeprom(0); }},
        {"VerifyFlash", "ATmega328P", kCmdReadFlash, 1, 1000, false, true,
         [](OpsRig& r) { return r.core.VerifyFlash(Image(r, 1000), OpOptions{.timing = true}); }},
        {"Erase", "ATmega8", kCmdChipErase, 1, 0, true, false,
         [](OpsRig& r) { return r.core.EraseDevice(Quietly(true)); }},
        {"WriteFuses", "ATmega328P", kCmdWriteFuse, 3, 0, true, false,
         [](OpsRig& r) { return r.core.WriteFuses({0xFF, 0xD9, 0x62}, {.timing = true, .verify = false}); }},
        {"ReadFuses", "ATmega328P", kCmdReadFuse, 3, 0, false, false,
         [](OpsRig& r) {
             uint8_t e = 0, h = 0, l = 0;
             return ReadFuseBytes(r.core, e, h, l, true);
         }},
        {"WriteLockBits", "ATmega8", kCmdWriteLock, 1, 0, true, false,
         [](OpsRig& r) { return r.core.WriteLockBits(0xFC, {.timing = true, .verify = false}); }},
        {"ReadLockBits", "ATmega8", kCmdReadLock, 1, 0, false, false,
         [](OpsRig& r) {
             uint8_t lock = 0;
             return r.core.ReadLockBits(lock, true);
         }},
        {"ReadCalibrationByte", "ATmega8", kCmdReadCalibration, 1, 0, false, false,
         [](OpsRig& r) {
             uint8_t value = 0;
             return r.core.ReadCalibrationByte(0, value, true);
         }},
        {"WriteCalibration", "ATmega8", kCmdWriteFlashPage, 1, 0, true, false,
         [](OpsRig& r) {
             r.window.Controls().SetText(ctl_id::kCalibValue, "A5");
             r.window.Controls().SetText(ctl_id::kCalibAddress, "101");
             r.window.Controls().SetText(ctl_id::kCalibMemory, text::kCalibFlashLabel);
             return r.window.WriteCalibration({.timing = true});
         }},
    };
    return kinds;
}

struct Cell {
    const OpKind* kind;
    Fault fault;
    Where where;
};

std::vector<Cell> AllCells() {
    std::vector<Cell> cells;
    for (const OpKind& kind : Kinds()) {
        for (Fault fault : {Fault::Timeout, Fault::WrongAck, Fault::DriverError, Fault::Cancel}) {
            if (fault == Fault::WrongAck && !kind.acknowledged) continue;
            if (fault == Fault::Cancel && !kind.progress) continue;
            const bool several = kind.blocks > 1 || kind.replyBytes > 0;
            for (Where where : {Where::First, Where::Middle, Where::Last}) {
                if (!several && where != Where::First) continue;
                cells.push_back({&kind, fault, where});
            }
        }
    }
    return cells;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, OneMessageRightAbortAndACleanEnd) {
    const Cell& c = GetParam();
    OpsRig rig(c.kind->device, c.kind->device);
    auto driver = std::make_unique<FaultyDriver>(rig.box, rig.host);
    FaultyDriver& faulty = *driver;
    rig.core.SetDriver(std::move(driver));
    if (c.kind->replyBytes > 0) {
        const size_t offsets[] = {0, c.kind->replyBytes / 2, c.kind->replyBytes - 1};
        faulty.Arm(c.kind->command, 1, c.fault, offsets[static_cast<int>(c.where)]);
    } else {
        const int requests[] = {1, c.kind->blocks / 2 + 1, c.kind->blocks};
        faulty.Arm(c.kind->command, requests[static_cast<int>(c.where)], c.fault, std::nullopt);
    }

    EXPECT_FALSE(c.kind->run(rig));
    EXPECT_TRUE(faulty.Triggered());

    const auto& messages = rig.host.recorder.messages;
    switch (c.fault) {
        case Fault::Timeout:
            EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
            EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortTimeout);
            break;
        case Fault::WrongAck: {
            const uint8_t ack = Ack(c.kind->command);
            const std::string wrong = FormatText(text::kWriterWrongAck, unsigned{ack}, ack ^ 0x80u);
            EXPECT_EQ(rig.Texts(), std::vector<std::string>{wrong});
            EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortNone);
        }
            break;
        case Fault::DriverError:
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].kind, MsgKind::Error);
            EXPECT_TRUE(messages[0].text.starts_with("line ")) << messages[0].text;
            EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortNone);
            break;
        case Fault::Cancel:
            EXPECT_TRUE(messages.empty()) << messages.front().text;
            EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortCancelled);
            break;
    }
    for (const auto& bar : rig.host.progress) EXPECT_TRUE(bar->destroyed);
    const auto sent = rig.Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "> 42");
    EXPECT_EQ(rig.Opens(), rig.Closes());
    EXPECT_EQ(rig.core.LinkState().m_nTimeoutTicks, 0);
    // One wait of eleven ticks at most, plus the pauses of the protocol.
    EXPECT_LT(rig.clock.Now(), std::chrono::seconds(13));

    // The link still works: the same operation succeeds. (Not after a broken
    // off reply: the rest of it is still on its way.)
    if ((c.fault == Fault::DriverError || c.fault == Fault::WrongAck) && c.kind->replyBytes == 0) {
        rig.ClearLog();
        faulty.Arm(0, 0, c.fault, std::nullopt);
        EXPECT_TRUE(c.kind->run(rig));
    }
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info) {
    return std::string(info.param.kind->name) + "_" + Name(info.param.fault) + "_" + Name(info.param.where);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, FaultMatrix, ::testing::ValuesIn(AllCells()), CellName);

TEST(FaultMatrixExtra, UnpluggedBoxIsReportedOnce) {
    OpsRig rig("ATmega328P", "ATmega328P");
    Cells cells(5 * 128, 0x11);
    const std::string file = rig.WriteImage("u.s", cells);
    rig.box->Faults().disconnectAfter = 300;  // in the middle of the second page
    EXPECT_FALSE(rig.core.WriteFlash(file, {.timing = true, .verify = false}));
    ASSERT_EQ(rig.host.recorder.messages.size(), 1u);
    EXPECT_EQ(rig.host.recorder.messages[0].kind, MsgKind::Error);
    EXPECT_EQ(rig.Opens(), rig.Closes());
    EXPECT_TRUE(rig.host.LastProgress().destroyed);
}

}  // namespace
}  // namespace oriole::test
