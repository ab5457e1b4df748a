// The simulated box behaves like the silicon and the USB chip: programming
// clears bits, erase honours EESAVE, fuses and lock bits follow each device
// group's commands, and replies reach the host in latency-timed packets.
#include "link/sim/SimBox.h"

#include <algorithm>
#include <optional>
#include <set>
#include <tuple>

#include <gtest/gtest.h>

#include "link/SimLinkFixture.h"
#include "link/WriterLink.h"

namespace oriole::test {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A box on a virtual clock that tests talk to byte by byte.
struct Box {
    explicit Box(const std::string& options) : box(SimConfigFor(options), clock) {}

    std::vector<uint8_t> Send(std::vector<uint8_t> bytes, milliseconds settle = milliseconds(100)) {
        box.HostWrite(bytes);
        clock.Advance(settle);
        std::vector<uint8_t> reply(box.Queued());
        reply.resize(box.HostRead(reply));
        return reply;
    }
    void Enter() { ASSERT_EQ(Send({'A', 0}), std::vector<uint8_t>{0x53}); }

    CVirtualClock clock;
    sim::CSimBox box;
};

using Bytes = std::vector<uint8_t>;

TEST(SimTarget, FlashProgrammingOnlyClearsBitsUntilErased) {
    Box b("ATmega8,fast");
    b.Enter();
    Bytes page(64, 0x0F);
    Bytes request = {'F', 0, 0, 0, 0, 32};
    EXPECT_EQ(b.Send(request), Bytes{});
    EXPECT_EQ(b.Send(Bytes(page.begin(), page.begin() + 32)), Bytes{0x01});
    EXPECT_EQ(b.Send(Bytes(page.begin() + 32, page.end())), (Bytes{0x01, 0x86}));
    b.Send(request);
    b.Send(Bytes(32, 0xF0));
    b.Send(Bytes(32, 0xF0));
    EXPECT_EQ(b.Send({'E', 0, 0, 0, 0, 1}), (Bytes{0x00, 0x00}));  // 0x0F AND 0xF0
    EXPECT_EQ(b.Send({'D'}), Bytes{0x84});
    EXPECT_EQ(b.Send({'E', 0, 0, 0, 0, 1}), (Bytes{0xFF, 0xFF}));
}

TEST(SimTarget, EepromBytesAreReplacedAndEraseKeepsThemOnlyWithEesave) {
    for (bool eesave : {false, true}) {
        SCOPED_TRACE(eesave);
        Box b("ATmega328P,fast");
        b.Enter();
        EXPECT_EQ(b.Send({'J', 0, 0, 4, 0, 2, 0x00, 0x0F}), Bytes{0x8A});
        EXPECT_EQ(b.Send({'J', 0, 0, 4, 0, 1, 0xF0}), Bytes{0x8A});
        EXPECT_EQ(b.Send({'H', 0, 0, 4, 0, 2}), (Bytes{0xF0, 0x0F}));
        // EESAVE is bit 3 of the high fuse byte (0 = programmed).
        const uint8_t high = eesave ? 0xD1 : 0xD9;
        EXPECT_EQ(b.Send({'L', 2, high}), Bytes{0x8C});
        EXPECT_EQ(b.Send({'N', 0xE0, 0xFC}), Bytes{0x8E});
        EXPECT_EQ(b.Send({'D'}), Bytes{0x84});
        EXPECT_EQ(b.Send({'H', 0, 0, 4, 0, 1}), Bytes{static_cast<uint8_t>(eesave ? 0xF0 : 0xFF)});
        EXPECT_EQ(b.Send({'M'}), Bytes{0xFF});  // the erase resets the lock bits
    }
}

// Spot checks against the data sheets' tables of fuse defaults.
TEST(SimTarget, FactoryFusesAndTheirReadBack) {
    const struct {
        const char* device;
        uint8_t low, high, ext;
    } cases[] = {
        {"ATmega328P", 0x62, 0xD9, 0xFF},
        {"ATmega168", 0x62, 0xDF, 0xF9},  // boot size in the extended byte
        {"ATmega8", 0xE1, 0xD9, 0xFF},    // 1 MHz RC oscillator, no CKDIV8
        {"ATmega16", 0xE1, 0x99, 0xFF},   // JTAG enabled
        {"ATmega128", 0xE1, 0x99, 0xFD},  // ATmega103 compatibility on
        {"ATtiny13", 0x6A, 0xFF, 0xFF},   // no extended byte: reads 0xFF
        {"ATtiny2313", 0x64, 0xDF, 0xFF},
        {"ATtiny26", 0xE1, 0xF7, 0xFF},
        {"ATtiny85", 0x62, 0xDF, 0xFF},
        {"AT90USB162", 0x5E, 0xD9, 0xF4},  // external crystal, hardware boot pin
        {"AT90S1200", 0xFF, 0xFF, 0xFF},  // no fuses at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        Box b(std::string(c.device) + ",fast");
        b.Enter();
        EXPECT_EQ(b.Send({'K', 1}), Bytes{c.low});
        EXPECT_EQ(b.Send({'K', 2}), Bytes{c.high});
        EXPECT_EQ(b.Send({'K', 4}), Bytes{c.ext});
    }
}

TEST(SimTarget, FuseBitsWithoutAFunctionReadOne) {
    Box b("ATmega163,fast");
    b.Enter();
    EXPECT_EQ(b.Send({'L', 2, 0x01}), Bytes{0x8C});
    EXPECT_EQ(b.Send({'K', 2}), Bytes{0xF9});
    EXPECT_EQ(b.Send({'L', 1, 0x00}), Bytes{0x8C});
    EXPECT_EQ(b.Send({'K', 1}), Bytes{0x10});  // bit 4 has no function
}

TEST(SimTarget, LockAndOldFuseCommandsPerDeviceGroup) {
    const struct {
        const char* device;
        Bytes write;
        Bytes read;
        uint8_t expected;
    } cases[] = {
        {"ATmega8", {'N', 0xE0, 0xFC}, {'M'}, 0xFC},
        {"ATtiny13", {'N', 0xE0, 0xFE}, {'M'}, 0xFE},
        {"ATtiny12", {'N', 0xF9, 0x00}, {'M'}, 0xF9},  // LB1 and LB2 programmed: bits 1, 2 read 0
        {"ATtiny12", {'N', 0xA0, 0x52}, {'K', 1}, 0x52},
        {"AT90S4433", {'N', 0xBF, 0x00}, {'K', 1}, 0xDF},  // SPIEN stays programmed
        {"AT90S4433", {'N', 0xA0, 0x00}, {'K', 1}, 0xC0},
        {"AT90S8535", {'N', 0xBE, 0x00}, {'M'}, 0xDE},  // FSTRT programmed
        {"AT90S8535", {'N', 0xF9, 0x00}, {'M'}, 0x1F},  // LB1, LB2 programmed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.device << " " << sim::HexBytes(c.write));
        Box b(std::string(c.device) + ",fast");
        b.Enter();
        EXPECT_EQ(b.Send(c.write), Bytes{0x8E});
        const Bytes read = b.Send(c.read);
        ASSERT_EQ(read.size(), 1u);
        if (c.read[0] == 'M' && std::string(c.device) == "ATtiny12")
            EXPECT_EQ(read[0] | 0xF9, c.expected);
        else
            EXPECT_EQ(read[0], c.expected);
    }
}

// Lock mode 2 drops every further FLASH, EEPROM (and, on the current
// devices, fuse) write; mode 3 also answers every FLASH and EEPROM read with
// 0xFF; an erase opens the chip again. LB1 and LB2 are bits 0 and 1 of the
// current devices' lock, bits 1 and 2 of the older ones'.
TEST(SimTarget, LockModesCloseTheMemoriesUntilErased) {
    const struct {
        const char* device;
        uint8_t p, q;  // the lock write (N)
        int mode;
    } cases[] = {
        {"ATmega328P", 0xE0, 0xFF, 1}, {"ATmega328P", 0xE0, 0xFE, 2}, {"ATmega328P", 0xE0, 0x3C, 3},
        {"AT90S8515", 0xFD, 0x00, 2},  {"AT90S8515", 0xF9, 0x00, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.device << " mode " << c.mode);
        sim::CSimTarget t(FindDeviceByName(c.device));
        t.ProgramFlash(0, 0x0C);
        t.WriteEeprom(0, 0x11);
        t.WriteLockCommand(c.p, c.q);
        EXPECT_EQ(t.LockMode(), c.mode);
        t.ProgramFlash(1, 0x94);
        t.WriteEeprom(1, 0x22);
        t.WriteFuse(2, 0xDA);
        const bool open = c.mode == 1;
        EXPECT_EQ(t.Flash()[1], open ? 0x94 : 0xFF);
        EXPECT_EQ(t.Eeprom()[1], open ? 0x22 : 0xFF);
        if (c.device == std::string("ATmega328P")) EXPECT_EQ(t.ReadFuse(2), open ? 0xDA : 0xD9);
        EXPECT_EQ(t.ReadFlash(0), c.mode == 3 ? 0xFF : 0x0C);
        EXPECT_EQ(t.ReadEeprom(0), c.mode == 3 ? 0xFF : 0x11);
        t.ChipErase();
        t.ProgramFlash(0, 0x0C);
        EXPECT_EQ(t.LockMode(), 1);
        EXPECT_EQ(t.ReadFlash(0), 0x0C);
    }
}

TEST(SimTarget, CalibrationBytesDifferPerIndex) {
    Box b("ATmega8,fast");
    b.Enter();
    std::set<uint8_t> values;
    for (uint8_t i = 0; i < 4; ++i) {
        const Bytes v = b.Send({'O', i});
        ASSERT_EQ(v.size(), 1u);
        EXPECT_NE(v[0], 0xFF);
        values.insert(v[0]);
    }
    EXPECT_EQ(values.size(), 4u);
    EXPECT_EQ(b.Send({'O', 4}), Bytes{0xFF});  // beyond the device's list
}

TEST(SimTarget, Attiny12EraseFollowUpIsAcknowledged) {
    Box b("ATtiny12,fast");
    b.Enter();
    for (uint8_t v : {uint8_t{0x40}, uint8_t{0x00}, uint8_t{0x00}, uint8_t{0xFF}}) EXPECT_EQ(b.Send({'Q', v}), Bytes{0x91});
    EXPECT_EQ(b.box.Firmware().EraseFollowUps(), (Bytes{0x40, 0x00, 0x00, 0xFF}));
}

TEST(SimTarget, CountZeroReadsTheWholeLargestFlash) {
    Box b("ATmega128,fast");
    b.Enter();
    EXPECT_EQ(b.Send({'E', 0, 0, 0, 0, 0}).size(), 131072u);
}

TEST(SimTarget, OutsideProgrammingModeTheTargetDoesNotAnswer) {
    Box b("ATmega8,fast");
    EXPECT_EQ(b.Send({'C'}), (Bytes{0xFF, 0xFF, 0xFF}));
    b.Enter();
    EXPECT_EQ(b.Send({'C'}), (Bytes{0x1E, 0x93, 0x07}));
    EXPECT_EQ(b.Send({'B'}), Bytes{0x82});
    EXPECT_EQ(b.Send({'C'}), (Bytes{0xFF, 0xFF, 0xFF}));
}

TEST(SimFaults, EachFaultShowsOnTheWire) {
    const struct {
        const char* options;
        Bytes request;
        Bytes reply;
    } cases[] = {
        {"ATmega8,fast,wrongack=D", {'D'}, {0x04}},
        {"ATmega8,fast,mute=D", {'D'}, {}},
        {"ATmega8,fast,short=C", {'C'}, {0x1E, 0x93}},
        {"ATmega8,fast,signature=1EFFFF", {'C'}, {0x1E, 0xFF, 0xFF}},
        {"ATmega8,fast", {'Z'}, {}},  // unknown commands are ignored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Box b(c.options);
        b.Enter();
        EXPECT_EQ(b.Send(c.request), c.reply);
    }
    Box refused("ATmega8,fast,refuse");
    EXPECT_EQ(refused.Send({'A', 0}), Bytes{0xFE});
    // A misread comes once, in the n-th answer; the chip keeps what it holds.
    Box loose("ATmega8,fast,misread=C#2");
    loose.Enter();
    for (const Bytes& signature : {Bytes{0x1E, 0x93, 0x07}, Bytes{0xE1, 0x6C, 0xF8}, Bytes{0x1E, 0x93, 0x07}})
        EXPECT_EQ(loose.Send({'C'}), signature);
}

TEST(SimTiming, RepliesWaitForTheLatencyTimerOrAFullPacket) {
    Box b("ATmega8");  // timing on
    b.box.SetBaud(38400);
    b.box.SetLatency(16);
    b.Enter();
    // A 200-byte reply: 10 bit times per byte, packets of 62 bytes.
    b.box.HostWrite(Bytes{'H', 0, 0, 0, 0, 200});
    const auto byteTime = microseconds(260);  // 10 / 38400 s
    b.clock.Advance(byteTime * 6 + byteTime * 61);
    EXPECT_EQ(b.box.Queued(), 0u);
    b.clock.Advance(byteTime * 2);
    EXPECT_EQ(b.box.Queued(), 62u);
    // The last 14 bytes wait for the latency timer after the first of them.
    b.clock.Advance(byteTime * (200 - 62));
    EXPECT_EQ(b.box.Queued(), 186u);
    b.clock.Advance(milliseconds(16));
    EXPECT_EQ(b.box.Queued(), 200u);
}

// The latency timer is the host's request; before one (a box on a
// pseudo-terminal never gets one) what the host asks for by default; with
// latency= the box's own whatever the host asks for.
TEST(SimTiming, TheLatencyIsTheHostsUnlessTheBoxKeepsItsOwn) {
    const struct {
        const char* options;
        std::optional<uint8_t> request;
        int latencyMs;
    } cases[] = {{"ATmega8", 16, 16}, {"ATmega8", std::nullopt, 2}, {"ATmega8,latency=16", 2, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Box b(c.options);  // timing on
        b.box.SetBaud(38400);
        if (c.request) b.box.SetLatency(*c.request);
        b.Enter();
        // The request's byte and the reply's first on the line, then the timer.
        b.box.HostWrite(Bytes{'C'});
        b.clock.Advance(microseconds(520) + milliseconds(c.latencyMs) - microseconds(100));
        EXPECT_EQ(b.box.Queued(), 0u);
        b.clock.Advance(microseconds(200));
        EXPECT_EQ(b.box.Queued(), 3u);
    }
}

TEST(SimTiming, ProgrammingTakesMilliseconds) {
    Box b("ATmega8");
    b.box.SetLatency(2);
    b.Enter();
    b.box.HostWrite(Bytes{'D'});
    b.clock.Advance(milliseconds(5));
    EXPECT_EQ(b.box.Queued(), 0u);
    ASSERT_TRUE(b.box.NextDelivery());
    EXPECT_GT(*b.box.NextDelivery(), b.clock.Now());
    b.clock.SleepUntil(*b.box.NextDelivery());
    EXPECT_EQ(b.box.Queued(), 1u);
}

TEST(SimOptions, ParsesDevicesOptionsAndFaults) {
    std::string error;
    auto c = sim::ParseSimOptions("", error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->deviceRow, Row("ATmega328P"));
    EXPECT_TRUE(c->timing);

    c = sim::ParseSimOptions("atmega8,timing=off,mute=F#3,mute=0x43,fail=baud#2:7,disconnect=100", error);
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(c->deviceRow, Row("ATmega8"));
    EXPECT_FALSE(c->timing);
    ASSERT_EQ(c->faults.mute.size(), 2u);
    EXPECT_EQ(c->faults.mute[0].command, 'F');
    EXPECT_EQ(c->faults.mute[0].piece, 3);
    EXPECT_EQ(c->faults.mute[1].command, 'C');
    ASSERT_EQ(c->faults.callFaults.size(), 1u);
    EXPECT_EQ(c->faults.callFaults[0].call, sim::DriverCall::Baud);
    EXPECT_EQ(c->faults.callFaults[0].nth, 2);
    EXPECT_EQ(c->faults.callFaults[0].status, 7u);
    EXPECT_EQ(c->faults.disconnectAfter, 100);

    c = sim::ParseSimOptions("ATmega8,stuck=flash:0x0123,stuck=eeprom:16:0xA5,bad=3", error);
    ASSERT_TRUE(c) << error;
    ASSERT_EQ(c->faults.stuck.size(), 2u);
    EXPECT_FALSE(c->faults.stuck[0].eeprom);
    EXPECT_EQ(c->faults.stuck[0].address, 0x123u);
    EXPECT_FALSE(c->faults.stuck[0].value.has_value());
    EXPECT_TRUE(c->faults.stuck[1].eeprom);
    EXPECT_EQ(c->faults.stuck[1].address, 16u);
    EXPECT_EQ(c->faults.stuck[1].value, std::optional<uint8_t>(0xA5));
    EXPECT_EQ(c->faults.badEvery, 3);

    c = sim::ParseSimOptions("none", error);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->deviceRow, 0);

    // The tray: WAIT is 1000 ms unless given.
    for (const auto& [text, hold, gap, wait] : {std::tuple{"swap=40:10", 40, 10, 5000}, {"swap=40:0:300", 40, 0, 300}}) {
        c = sim::ParseSimOptions(text, error);
        ASSERT_TRUE(c) << text;
        EXPECT_EQ(c->swap.holdMs, hold) << text;
        EXPECT_EQ(c->swap.gapMs, gap) << text;
        EXPECT_EQ(c->swap.waitMs, wait) << text;
    }

    for (const char* bad : {"ATmega9", "ATmega8,timing=maybe", "ATmega8,mute=FF", "ATmega8,fail=jump",
                            "ATmega8,fail=read#0", "ATmega8,signature=1E93", "ATmega8,disconnect=-1",
                            "ATmega8,refuse=1", "ATmega8,,fast", "ATmega8,stuck=rom:1", "ATmega8,stuck=flash",
                            "ATmega8,stuck=flash:0x", "ATmega8,stuck=eeprom:1:256", "ATmega8,stuck=flash:1:2:3",
                            "ATmega8,bad=0", "ATmega8,swap=40", "ATmega8,swap=1:2:3:4", "ATmega8,swap=1:-2",
                            "ATmega8,misread=C", "ATmega8,misread=C#0", "ATmega8,latency=0", "ATmega8,latency=256"}) {
        error.clear();
        EXPECT_FALSE(sim::ParseSimOptions(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Stuck cells read wrong on the bad chips only: every chip, or every N-th
// one the tray puts in; without cells of its own a bad chip has FLASH byte 0.
TEST(SimFaults, StuckCellsReadWrongOnTheBadChipsOnly) {
    const struct {
        const char* options;
        bool eeprom;
        uint32_t address;
        std::vector<int> wrongOn;  // chips (from 1) whose cell reads wrong
        int stuckAt;               // its value; -1: the inverse of what it holds
    } cases[] = {
        {"stuck=flash:0x0123", false, 0x123, {1, 2, 3, 4}, -1},
        {"stuck=eeprom:7:0x5A", true, 7, {1, 2, 3, 4}, 0x5A},
        {"stuck=flash:0x10:0x00,bad=2", false, 0x10, {2, 4}, 0x00},
        {"bad=3", false, 0, {3}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Box b(std::string("ATmega8,fast,swap=0:0,") + c.options);
        for (int chip = 1; chip <= 4; ++chip) {
            SCOPED_TRACE(chip);
            sim::CSimTarget& t = b.box.Target();
            const bool bad = std::find(c.wrongOn.begin(), c.wrongOn.end(), chip) != c.wrongOn.end();
            const auto read = [&](uint32_t a) { return c.eeprom ? t.ReadEeprom(a) : t.ReadFlash(a); };
            const auto wrong = [&](uint8_t held) {
                return c.stuckAt < 0 ? static_cast<uint8_t>(~held) : static_cast<uint8_t>(c.stuckAt);
            };
            EXPECT_EQ(read(c.address), bad ? wrong(0xFF) : 0xFF);
            EXPECT_EQ(read(c.address + 1), 0xFF);  // its neighbour is good
            if (c.eeprom) t.WriteEeprom(c.address, 0x3C); else t.ProgramFlash(c.address, 0x3C);
            EXPECT_EQ(read(c.address), bad ? wrong(0x3C) : 0x3C);
            // Erased, taken out, and the next chip put in.
            t.ChipErase();
            for (int call = 0; call < 3; ++call) b.box.Call(sim::DriverCall::Queue);
            EXPECT_EQ(b.box.ChipsSwapped(), chip);
        }
    }
}

// The tray takes a chip out HOLD after whatever first changed it, and the
// next one put in mid-job takes the rest of the job's writes and goes the
// same way. A chip nothing changes goes after WAIT, and the next comes GAP
// after the box found the socket empty.
TEST(SimTray, TakesAChipOutAfterItWasChangedOrLeftAlone) {
    const struct {
        const char* what;
        Bytes command;  // sent in programming mode, to the first chip and again to the second
    } cases[] = {
        {"erase", {'D'}},
        {"FLASH page", {'F', 0, 0, 0, 0, 1, 0x12, 0x34}},
        {"EEPROM byte", {'J', 0, 0, 5, 0, 1, 0x5A}},
        {"fuse", {'L', 1, 0xE1}},
        {"lock bits", {'N', 0xE0, 0xFC}},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Box b("ATmega8,fast,swap=100:50:700");
        const auto step = [&](milliseconds pass) {
            b.clock.Advance(pass);
            b.box.Call(sim::DriverCall::Queue);
            return b.box.Target().IsPresent();
        };
        b.Enter();  // 100 ms after the first chip went in
        for (int chip = 1; chip <= 2; ++chip) {
            SCOPED_TRACE(chip);
            if (!c.command.empty()) {
                (void)b.Send(c.command, milliseconds(0));
                EXPECT_GT(b.box.Target().Changes(), 0);
            }
            const milliseconds until = c.command.empty() ? milliseconds(chip == 1 ? 599 : 699) : milliseconds(99);
            EXPECT_TRUE(step(milliseconds(0)));
            EXPECT_TRUE(step(until));
            EXPECT_FALSE(step(milliseconds(1)));
            if (c.command.empty()) {
                // Not put back until the box asks for a chip.
                EXPECT_FALSE(step(milliseconds(5000)));
                EXPECT_EQ(b.Send({'A', 0}, milliseconds(0)), Bytes{0xFE});
                EXPECT_FALSE(step(milliseconds(0)));
            }
            EXPECT_FALSE(step(milliseconds(49)));
            EXPECT_TRUE(step(milliseconds(1)));
            EXPECT_EQ(b.box.ChipsSwapped(), chip);
            EXPECT_EQ(b.box.Target().Changes(), 0);
        }
    }
}

TEST(SimFaults, DriverCallFailsOnlyOnItsTurn) {
    Box b("ATmega8,fail=read#2:9");
    EXPECT_EQ(b.box.Call(sim::DriverCall::Read), 0u);
    EXPECT_EQ(b.box.Call(sim::DriverCall::Read), 9u);
    EXPECT_EQ(b.box.Call(sim::DriverCall::Read), 0u);
    EXPECT_EQ(b.box.Call(sim::DriverCall::Write), 0u);
}

// A box serving run after run keeps only the latest traffic: over 100
// cycles of writing and reading an EEPROM page, what its transcript holds stays
// under the limit and ends with the last cycle.
TEST(SimTranscript, StaysUnderItsLimitOverManyCycles) {
    sim::SimConfig config = SimConfigFor("ATmega8,fast");
    config.transcriptLimit = 4096;
    CVirtualClock clock;
    auto box = std::make_shared<sim::CSimBox>(config, clock);
    CSimDriver driver(box);
    for (int cycle = 0; cycle < 100; ++cycle) {
        CLinkState state;
        TestOperationHost host(clock);
        CWriterLink link(driver, state, host);
        TestSelector selector(Row("ATmega8"), false);
        const Bytes page(4, static_cast<uint8_t>(cycle));
        Bytes back(4);
        ASSERT_TRUE(link.OpenLink() && link.BeginProgramming(selector, false));
        ASSERT_TRUE(link.WriteEepromPage(0, page));
        ASSERT_TRUE(link.ReadEepromBlock(0, back));
        EXPECT_EQ(back, page);
        link.EndProgramming();
        link.CloseLink();
        EXPECT_LE(box->Transcript().Bytes(), config.transcriptLimit);
    }
    const auto lines = box->Transcript().Lines();
    EXPECT_EQ(lines.back(), "< 82");
    EXPECT_EQ(lines[lines.size() - 3], "< 63 63 63 63");
    EXPECT_LT(box->Transcript().Entries().size(), 200u);
}

}  // namespace
}  // namespace oriole::test
