// The job's own rules on the wire: which steps send the device's timing, and
// how a verify compares the bits a device does not have.
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

}  // namespace
}  // namespace oriole::test
