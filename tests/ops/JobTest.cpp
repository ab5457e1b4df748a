// The job's own rules on the wire: which steps send the device's timing, how
// a verify compares the bits a device does not have, what is refused before
// the chip is changed, and that a failure reported during a step fails it.
#include <gtest/gtest.h>

#include "ops/Job.h"
#include "ops/OpsTestSupport.h"

namespace oriole::test {
namespace {

JobStep Step(StepKind kind) {
    JobStep step;
    step.kind = kind;
    return step;
}

// Whether each frame of the transcript sent the timing, in order.
std::vector<bool> TimedFrames(const std::vector<std::string>& lines) {
    std::vector<bool> frames;
    bool timed = false;
    for (const std::string& line : lines) {
        timed = timed || line.starts_with("> 54 ");
        if (line != "> 42") continue;
        frames.push_back(timed);
        timed = false;
    }
    return frames;
}

// A custom step may send nothing: it is given the timing as any step is, and
// the step after it sends the timing again where the custom step was given it.
TEST(Job, CustomStepsPassTheTimingOn) {
    using K = StepKind;
    const struct {
        const char* what;
        std::vector<StepKind> steps;
        std::vector<bool> customTiming;  // what each custom step was given
        std::vector<bool> frames;        // whether each frame sent the timing
    } cases[] = {
        {"customs first", {K::Custom, K::Custom, K::ReadLock, K::ReadLock}, {true, true}, {true, false}},
        {"after an erase", {K::Erase, K::Custom, K::ReadLock, K::Custom}, {true, false}, {true, true}},
        {"after a read", {K::ReadLock, K::Custom, K::ReadLock}, {false}, {true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpsRig rig("ATmega328P", "ATmega328P");
        std::vector<bool> given;
        Job job;
        for (const StepKind kind : c.steps) {
            JobStep& step = job.steps.emplace_back(Step(kind));
            step.custom = [&](const OpOptions& o) {
                given.push_back(o.timing);
                return true;
            };
        }
        ASSERT_TRUE(RunJob(rig.core, job).ok);
        EXPECT_EQ(given, c.customTiming);
        EXPECT_EQ(TimedFrames(rig.Lines()), c.frames);
    }
}

// One fuse byte is verified against the others as the chip holds them, and a
// verify after a write (quiet or reported) reads the bits the device lacks as 1.
TEST(Job, VerifiesCompareTheBitsTheDeviceHas) {
    using K = StepKind;
    const struct {
        const char* what;
        StepKind kind;
        FuseBytes fuses;
        int32_t fuseBytes;
        uint8_t lock;
        bool quiet;
        bool ok;
        uint8_t lockAfter;
    } cases[] = {
        {"high byte alone", K::VerifyFuses, {0x00, 0xD9, 0x00}, kFuseHigh, 0, false, true, 0xFF},
        {"high byte differs", K::VerifyFuses, {0xFF, 0xD8, 0x62}, kFuseHigh, 0, false, false, 0xFF},
        {"ext byte without its unused bits", K::VerifyFuses, {0x07, 0, 0}, kFuseExt, 0, false, true, 0xFF},
        {"ext byte's named bits differ", K::VerifyFuses, {0x05, 0, 0}, kFuseExt, 0, false, false, 0xFF},
        {"lock write, reported", K::WriteLock, {}, 0, 0x0F, false, true, 0xCF},
        {"lock write, quiet", K::WriteLock, {}, 0, 0x0F, true, true, 0xCF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpsRig rig("ATmega328P", "ATmega328P");
        Job job;
        job.options = OpOptions{.confirm = false};
        JobStep& step = job.steps.emplace_back(Step(c.kind));
        step.fuses = c.fuses;
        step.fuseBytes = c.fuseBytes;
        step.lock = c.lock;
        step.verify = c.kind == K::WriteLock;
        step.quiet = c.quiet;
        const JobResult r = RunJob(rig.core, job);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.cause, c.ok ? Cause::None : Cause::VerifyMismatch);
        EXPECT_EQ(rig.Target().LockBits() | 0xC0, c.lockAfter);
    }
}

// Everything that can be refused is refused before the chip is changed: what
// reached the simulated chip (its erases and writes) is nothing, and where the
// device is chosen and the rule needs no chip, nothing was sent at all. The
// rows that pass show that the rule draws the line where it should.
TEST(Job, RefusesBeforeTheChipIsChanged) {
    using K = StepKind;
    struct StepSpec {
        StepKind kind;
        uint8_t lock = 0xFF;
        FuseBytes fuses = {};
        int32_t fuseBytes = 0;
        CalibTarget calib = {};
    };
    const CalibTarget eepromPast{0xA5, 0x400, CalibMemory::Eeprom};
    const struct {
        const char* what;
        const char* box;
        const char* pinned;  // the job's device, or null for none
        bool detect;         // auto-detect on; else the box's device is selected
        std::vector<StepSpec> steps;
        Cause cause;         // None: the job passes
    } cases[] = {
        {"lock verify where the lock cannot be read", "AT90S8515", nullptr, false,
         {{K::Erase}, {K::WriteLock, 0xFC}, {K::VerifyLock, 0xFC}}, Cause::NoSuchMemory},
        {"calibration past the end of EEPROM", "ATmega328P", nullptr, false,
         {{K::Erase}, {.kind = K::WriteCalibration, .calib = eepromPast}}, Cause::TooLarge},
        {"one fuse byte that releases SPIEN", "ATmega328P", nullptr, false,
         {{K::Erase}, {.kind = K::WriteFuses, .fuses = {0xFF, 0xFF, 0xFF}, .fuseBytes = kFuseHigh}}, Cause::Policy},
        {"one fuse byte that keeps SPIEN", "ATmega328P", nullptr, false,
         {{K::Erase}, {.kind = K::WriteFuses, .fuses = {0xFF, 0xDA, 0xFF}, .fuseBytes = kFuseHigh}}, Cause::None},
        {"a clock source change", "ATmega328P", nullptr, true,
         {{K::Erase}, {.kind = K::WriteFuses, .fuses = {0xFF, 0xD9, 0xFF}}}, Cause::Policy},
        {"another device than the job's", "ATmega328P", "ATmega168", true, {{K::Erase}}, Cause::OtherDevice},
        {"a FLASH verify after lock mode 3", "ATmega328P", nullptr, false,
         {{K::Erase}, {K::WriteLock, 0xFC}, {K::VerifyFlash}}, Cause::Policy},
        {"a FLASH write after lock mode 2", "ATmega328P", nullptr, false,
         {{K::WriteLock, 0xFE}, {K::WriteFlash}}, Cause::Policy},
        {"a FLASH verify after lock mode 2", "ATmega328P", nullptr, false,
         {{K::WriteLock, 0xFE}, {K::VerifyFlash}}, Cause::VerifyMismatch},
        {"an erase between the lock and the write", "ATmega328P", nullptr, false,
         {{K::WriteLock, 0xFC}, {K::Erase}, {K::WriteFlash}, {K::VerifyFlash}}, Cause::None},
        {"an older part's EEPROM write after lock mode 2", "AT90S8515", nullptr, false,
         {{K::WriteLock, 0xFD}, {K::WriteEeprom}}, Cause::Policy},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OpsRig rig(c.box, c.detect ? nullptr : c.box);
        Job job;
        job.fusePolicy.risky = RiskyFuses::Refuse;
        job.deviceRow = c.pinned ? Row(c.pinned) : 0;
        ImageBuffer image;
        image.Allocate(64);
        const int16_t program[] = {0x0C, 0x94, 0x34, 0x00};
        std::copy(std::begin(program), std::end(program), image.cells.begin());
        job.images.push_back({.name = "prog", .image = image, .loaded = true});
        for (const StepSpec& s : c.steps)
            job.steps.push_back({.kind = s.kind, .image = 0, .fuses = s.fuses, .fuseBytes = s.fuseBytes,
                                 .lock = s.lock, .calib = s.calib});
        const JobResult r = RunJob(rig.core, job);
        EXPECT_EQ(r.ok, c.cause == Cause::None) << r.message;
        EXPECT_EQ(r.cause, c.cause) << r.message;
        if (c.cause == Cause::None || c.cause == Cause::VerifyMismatch) continue;
        EXPECT_EQ(r.failedStep, -1);
        EXPECT_EQ(rig.Target().Changes(), 0);
        if (!c.detect) EXPECT_TRUE(rig.Lines().empty()) << rig.Lines().front();
    }
}

// A step during which a failure was reported fails, even when its work says
// it passed, and the run stops there: the erase after it never reaches the
// chip.
TEST(Job, AStepWithAReportedFailureFailsAndStopsTheRun) {
    for (const bool reports : {false, true}) {
        SCOPED_TRACE(reports);
        OpsRig rig("ATmega328P", "ATmega328P");
        Job job;
        job.steps.push_back({.kind = StepKind::Custom, .custom = [&](const OpOptions&) {
                                 if (reports) rig.core.ReportFailure(Cause::Other, MsgKind::Error, "lost");
                                 return true;
                             }});
        job.steps.push_back({.kind = StepKind::Erase});
        const JobResult r = RunJob(rig.core, job);
        EXPECT_EQ(r.ok, !reports);
        EXPECT_EQ(r.failedStep, reports ? 0 : -1);
        EXPECT_EQ(rig.Target().Erasures(), reports ? 0 : 1);
    }
}

}  // namespace
}  // namespace oriole::test
