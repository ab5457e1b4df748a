// Every failure names its cause: callers (a production run, the doctor, a
// log) decide by cause, so each kind of failing operation must record its
// own, never the catch-all.
#include <gtest/gtest.h>

#include <functional>

#include "link/WriterDriver.h"
#include "ops/OpsTestSupport.h"

namespace oriole::test {
namespace {

TEST(FailureCause, EachFailingOperationRecordsItsOwnCause) {
    using Run = std::function<bool(OpsRig&)>;
    const auto openFails = [](DriverStatus status) {
        return [status](OpsRig& r) {
            r.box->Faults().callFaults = {{sim::DriverCall::Open, 0, status}};
            return r.core.CheckDevice(false);
        };
    };
    const Run check = [](OpsRig& r) { return r.core.CheckDevice(false); };
    const struct {
        const char* what;
        const char* device;  // on the socket ("" for none)
        Run run;
        Cause cause;
    } rows[] = {
        {"no box", "ATmega328P", openFails(kFtDeviceNotFound), Cause::NoBox},
        {"box not ours to open", "ATmega328P", openFails(kLinkAccessDenied), Cause::NoAccess},
        {"box in use", "ATmega328P", openFails(kLinkInUse), Cause::Driver},
        {"silent box", "ATmega328P",
         [](OpsRig& r) {
             r.box->Faults().mute = {{'A', 0}};
             return r.core.CheckDevice(false);
         },
         Cause::NoAnswer},
        {"empty socket", "", check, Cause::Refused},
        {"unknown signature", "ATmega8",
         [](OpsRig& r) {
             r.box->Faults().signature = std::array<uint8_t, 3>{0x1E, 0x99, 0x99};
             return r.core.CheckDevice(false);
         },
         Cause::NotDetected},
        {"no device and no detection", "ATmega8",
         [](OpsRig& r) {
             r.core.SetAutoDetect(false);
             uint8_t lock = 0;
             return r.core.ReadLockBits(lock, false);
         },
         Cause::NotDetected},
        {"verify mismatch", "ATmega328P",
         [](OpsRig& r) {
             r.Target().Flash()[3] = 0x00;
             return r.core.VerifyFlash(r.WriteImage("v.srec", Cells(8, 0xFF)), {.timing = false});
         },
         Cause::VerifyMismatch},
        {"missing file", "ATmega328P",
         [](OpsRig& r) { return r.core.WriteFlash(r.dir.filePath("none.hex").toStdString(), {.timing = false}); },
         Cause::File},
        {"image beyond the flash", "ATtiny13",
         [](OpsRig& r) {
             Cells cells(1025, -1);
             cells[1024] = 0x00;
             return r.core.WriteFlash(r.WriteImage("big.srec", cells), {.timing = false});
         },
         Cause::TooLarge},
        {"address beyond the flash", "ATtiny13",
         [](OpsRig& r) {
             uint8_t v = 0;
             return r.core.ReadFlashByte(1024, v, false);
         },
         Cause::TooLarge},
        {"fuse write without fuses", "AT90S1200",
         [](OpsRig& r) { return r.core.WriteFuses({0x00, 0x00, 0x00}, {.timing = false}); },
         Cause::NoSuchMemory},
    };
    for (const auto& row : rows) {
        OpsRig rig(row.device);
        EXPECT_FALSE(row.run(rig)) << row.what;
        EXPECT_EQ(rig.core.FirstFailure().cause, row.cause)
            << row.what << ": " << CauseName(rig.core.FirstFailure().cause) << " " << rig.core.FirstFailure().text;
        // The one message the user saw is the failure recorded.
        ASSERT_FALSE(rig.Texts().empty()) << row.what;
        EXPECT_EQ(rig.core.FirstFailure().text, rig.Texts().front()) << row.what;
    }
}

}  // namespace
}  // namespace oriole::test
