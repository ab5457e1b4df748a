#include "ops/Job.h"

#include <algorithm>
#include <utility>

#include "base/FormatText.h"
#include "devices/Devices.h"
#include "devices/FuseGuard.h"
#include "devices/Memories.h"
#include "ops/FusePolicy.h"
#include "res/Texts.h"

namespace oriole {

namespace {

using K = StepKind;
using T = StepTiming;
using N = StepNeed;

// clang-format off
constexpr StepInfo kSteps[] = {
    {K::Detect,            0,                             "",                       "detect",        T::First,  N::Nothing},
    {K::Erase,             step_bit::kErase,              text::kBatchErase,        "erase",         T::Keeps,  N::Nothing},
    {K::WriteFlash,        step_bit::kWriteFlash,         text::kBatchFlashWrite,   "flash",         T::First,  N::Flash},
    {K::VerifyFlash,       step_bit::kVerifyFlash,        text::kBatchFlashVerify,  "flash-verify",  T::First,  N::Flash},
    {K::ReadFlash,         0,                             "",                       "flash-read",    T::First,  N::Flash},
    {K::WriteEeprom,       step_bit::kWriteEeprom,        text::kBatchEepromWrite,  "eeprom",        T::First,  N::Eeprom},
    {K::VerifyEeprom,      step_bit::kVerifyEeprom,       text::kBatchEepromVerify, "eeprom-verify", T::First,  N::Eeprom},
    {K::ReadEeprom,        0,                             "",                       "eeprom-read",   T::First,  N::Eeprom},
    {K::WriteFuses,        step_bit::kWriteFuses,         text::kBatchFuseWrite,    "fuse",          T::First,  N::Fuses},
    {K::VerifyFuses,       step_bit::kVerifyFuses,        text::kBatchFuseVerify,   "fuse-verify",   T::First,  N::Fuses},
    {K::ReadFuses,         0,                             "",                       "fuse-read",     T::First,  N::Fuses},
    // The lock write begins with the timing itself.
    {K::WriteLock,         step_bit::kWriteLock,          text::kBatchLockWrite,    "lock",          T::Always, N::LockWrite},
    {K::VerifyLock,        step_bit::kVerifyLock,         text::kBatchLockVerify,   "lock-verify",   T::First,  N::Lock},
    {K::ReadLock,          0,                             "",                       "lock-read",     T::First,  N::Lock},
    {K::WriteCalibration,  step_bit::kWriteCalibration,   text::kBatchCalibWrite,   "cal",           T::First,  N::Calibration},
    {K::VerifyCalibration, step_bit::kVerifyCalibration,  text::kBatchCalibVerify,  "cal-verify",    T::First,  N::Calibration},
    {K::ReadCalibration,   0,                             "",                       "cal-read",      T::First,  N::Calibration},
    {K::Custom,            0,                             "",                       "custom",        T::Passes, N::Nothing},
};
// clang-format on

bool IsVerify(StepKind kind) {
    return kind == K::VerifyFlash || kind == K::VerifyEeprom || kind == K::VerifyFuses || kind == K::VerifyLock ||
           kind == K::VerifyCalibration;
}

bool UsesImage(StepKind kind) {
    return kind == K::WriteFlash || kind == K::VerifyFlash || kind == K::WriteEeprom || kind == K::VerifyEeprom;
}

// Why `d` cannot give the step the memory it works on, as the memory table
// (devices/Memories.h) says: there, readable where the step reads it,
// writable where it writes it, and the calibration target's address inside
// its memory. Empty when nothing stands in the way.
std::string MemoryRefusal(const AVR_DEVICE& d, const JobStep& step, Cause& cause) {
    cause = Cause::NoSuchMemory;
    const auto missing = [&](const std::string& what) { return FormatText(text::kMemoryMissing, d.name, what.c_str()); };
    switch (step.kind) {
        case K::WriteEeprom:
        case K::VerifyEeprom:
        case K::ReadEeprom: return HasMemory(d, Memory::Eeprom) ? std::string() : missing("EEPROM");
        case K::WriteFuses:
        case K::VerifyFuses:
        case K::ReadFuses: {
            if (!HasFuses(d)) return missing(text::kMemoryFuses);
            struct Byte {
                Memory memory;
                int32_t bits;
                const char* name;
            };
            constexpr Byte kBytes[] = {{Memory::ExtFuse, kFuseExt, "Ext"},
                                       {Memory::HighFuse, kFuseHigh, "High"},
                                       {Memory::LowFuse, kFuseLow | kFuseSingle, "Low"}};
            for (const Byte& b : kBytes) {
                if (step.fuseBytes != 0 && (step.fuseBytes & b.bits) == 0) continue;
                const MemoryInfo info = DescribeMemory(d, b.memory);
                if (!info.Present()) {
                    if (step.fuseBytes == 0) continue;
                    return missing(FormatText("%s (%s)", text::kMemoryFuses, b.name));
                }
                // A write reads the bytes first, in its own frame.
                if (!info.readable || (step.kind == K::WriteFuses && !info.writable)) return missing(text::kMemoryFuses);
            }
            return {};
        }
        case K::WriteLock:
        case K::VerifyLock:
        case K::ReadLock: {
            const MemoryInfo lock = DescribeMemory(d, Memory::Lock);
            if (!lock.Present()) return missing("ロックビット");
            // A write's own verify where the lock bits cannot be read back
            // is the write's to warn about; a verify of its own is refused.
            if (step.kind == K::WriteLock) return lock.writable ? std::string() : text::kLockNotWritable;
            return lock.readable ? std::string() : text::kLockNotReadable;
        }
        case K::WriteCalibration:
        case K::VerifyCalibration:
        case K::ReadCalibration: {
            if (!HasMemory(d, Memory::Calibration)) return missing(text::kMemoryCalibration);
            if (step.kind == K::ReadCalibration) return {};
            const bool flash = step.calib.memory == CalibMemory::Flash;
            const MemoryInfo target = DescribeMemory(d, flash ? Memory::Flash : Memory::Eeprom);
            if (!target.Present()) return missing(flash ? "FLASH" : "EEPROM");
            if (step.calib.address < target.size) return {};
            cause = Cause::TooLarge;
            return text::kAddressBeyondDevice;
        }
        default: return {};
    }
}

// The FLASH or EEPROM a step programs or reads (a calibration byte goes
// into one of them): what a lock can close.
struct MemoryUse {
    const char* memory = nullptr;  // null: neither
    bool writes = false;
};

MemoryUse UseOf(const JobStep& step) {
    const char* calib = step.calib.memory == CalibMemory::Flash ? "FLASH" : "EEPROM";
    switch (step.kind) {
        case K::WriteFlash: return {"FLASH", true};
        case K::VerifyFlash:
        case K::ReadFlash: return {"FLASH", false};
        case K::WriteEeprom: return {"EEPROM", true};
        case K::VerifyEeprom:
        case K::ReadEeprom: return {"EEPROM", false};
        case K::WriteCalibration: return {calib, true};
        case K::VerifyCalibration: return {calib, false};
        default: return {};
    }
}

// Why the job's own lock write before `step` (with no erase between) makes
// the step impossible: lock mode 2 closes FLASH and EEPROM (and the current
// devices' fuses) to programming, mode 3 FLASH and EEPROM to verification
// reads as well. Empty when none does, or when
// `step` is not one of the job's.
std::string LockRefusal(const Job& job, const JobStep& step, const AVR_DEVICE& d) {
    MemoryUse use = UseOf(step);
    // The lock bits lock the fuses of the current devices as well.
    if (step.kind == K::WriteFuses && d.fuseWrite == FuseWrite::PerByte) use = {text::kMemoryFuses, true};
    if (use.memory == nullptr || job.steps.empty() || &step < job.steps.data() ||
        &step >= job.steps.data() + job.steps.size())
        return {};
    int mode = 1;
    uint8_t lock = 0xFF;
    for (const JobStep* s = job.steps.data(); s != &step; ++s) {
        if (s->kind == K::Erase) mode = 1;
        if (s->kind == K::WriteLock && LockModeOf(d, s->lock) > mode) {
            mode = LockModeOf(d, s->lock);
            lock = s->lock;
        }
    }
    if (mode >= 2 && use.writes) return FormatText(text::kLockForbidsWrite, lock, use.memory);
    if (mode >= 3) return FormatText(text::kLockForbidsRead, lock, use.memory);
    return {};
}

// The refusal of `risks` under `policy`: the risks, and how to allow them
// where they can be.
std::string RiskRefusal(unsigned risks, const FusePolicy& policy) {
    std::string refusal = FuseRiskText(risks);
    if ((risks & fuse_risk::kReleasesSpien) == 0 && policy.hint != nullptr && *policy.hint != '\0')
        refusal += std::string("\n") + policy.hint;
    return refusal;
}

JobResult Refused(IMessageHost& host, Cause cause, MsgKind kind, const std::string& text, const char* stage) {
    host.ShowFailure(cause, kind, text);
    return {.ok = false, .stage = stage, .cause = cause, .message = text};
}

// The failure the core recorded, or `fallback` where nothing was shown.
JobResult FailureOf(COrioleCore& core, Cause fallback, const char* fallbackText) {
    const OpFailure& f = core.FirstFailure();
    if (f.cause != Cause::None) return {.ok = false, .cause = f.cause, .message = f.text};
    return {.ok = false, .cause = fallback, .message = fallbackText};
}

// Whether a step of this kind can change what the chip holds (a front end's
// own step is taken to).
bool ChangesChip(K kind) {
    switch (kind) {
        case K::Erase: case K::WriteFlash: case K::WriteEeprom: case K::WriteFuses: case K::WriteLock:
        case K::WriteCalibration: case K::Custom:
            return true;
        default:
            return false;
    }
}

// The fuse rules that need the chip's own bytes (a change of the clock
// source; RSTDISBL and DWEN against what the chip holds): the bytes are read
// once, right after the detection and before anything is erased or written,
// and every fuse write of the job is held against them. A policy that asks
// asks here, and its Yes holds for those writes (policy.accepted).
JobResult CheckCurrentFuses(COrioleCore& core, const Job& job, const std::vector<bool>& prepared, bool& first,
                            FusePolicy& policy, const JobEvents& events) {
    const AVR_DEVICE& d = core.Device();
    std::vector<const JobStep*> writes;
    // Whether a step that changes the chip runs before the first fuse write.
    // Where none does, the fuse write's own read, in its own frame before it
    // writes, holds the policy against the same bytes: no read of its own here.
    bool changedBefore = false;
    for (size_t i = 0; i < job.steps.size(); ++i) {
        if (!prepared[i]) continue;
        const K kind = job.steps[i].kind;
        if (kind == K::WriteFuses) writes.push_back(&job.steps[i]);
        else if (writes.empty() && ChangesChip(kind)) changedBefore = true;
    }
    if (writes.empty() || !changedBefore || policy.risky == RiskyFuses::Allow || d.id <= 0 || !DescribeMemory(d, Memory::LowFuse).readable)
        return {.ok = true};
    FuseBytes current;
    const bool read = core.ReadFuses(current, first);
    first = false;
    if (!read) {
        JobResult r = FailureOf(core, Cause::Other, "");
        r.stage = "fuses";
        r.chipTouched = true;
        return r;
    }
    // Shown as the write shows them, so they can be written back.
    if (events.onCurrentFuses) events.onCurrentFuses(current);
    unsigned risks = 0;
    for (const JobStep* step : writes)
        risks |= FuseWriteRisks(d, current, MergedFuses(current, step->fuses, step->fuseBytes));
    if (risks == 0) return {.ok = true, .chipTouched = true};
    IOperationHost& host = core.Host();
    if (policy.risky == RiskyFuses::Refuse || (risks & fuse_risk::kReleasesSpien) != 0) {
        JobResult r = Refused(host, Cause::Policy, MsgKind::Error, RiskRefusal(risks, policy), "fuses");
        r.chipTouched = true;
        return r;
    }
    if (host.ShowMessage(MsgKind::Question, FuseRiskText(risks) + "\n" + text::kFuseRiskQuestion, Answer::No) !=
        Answer::Yes)
        return {.ok = false, .stage = "fuses", .cause = Cause::Cancelled, .message = text::kFuseWriteDeclined,
                .chipTouched = true};
    policy.accepted = risks;
    return {.ok = true, .chipTouched = true};
}

}  // namespace

std::span<const StepInfo> StepTable() { return kSteps; }

const StepInfo& InfoOf(StepKind kind) {
    for (const StepInfo& info : kSteps)
        if (info.kind == kind) return info;
    return kSteps[std::size(kSteps) - 1];
}

const StepInfo* InfoOfBit(uint32_t bit) {
    for (const StepInfo& info : kSteps)
        if (info.bit == bit && bit != 0) return &info;
    return nullptr;
}

JobResult CheckJob(const Job& job, const AVR_DEVICE& device, IMessageHost& host, bool withImages) {
    for (const JobStep& step : job.steps)
        if (JobResult r = CheckStep(job, step, device, host, withImages); !r.ok) return r;
    return {.ok = true};
}

JobResult CheckStep(const Job& job, const JobStep& step, const AVR_DEVICE& device, IMessageHost& host,
                    bool withImages) {
    constexpr const char* kStage = "check";
    const bool known = device.id > 0;
    if (known) {
        Cause cause = Cause::None;
        if (const std::string why = MemoryRefusal(device, step, cause); !why.empty())
            return Refused(host, cause, MsgKind::Warning, why, kStage);
        if (const std::string why = LockRefusal(job, step, device); !why.empty())
            return Refused(host, Cause::Policy, MsgKind::Warning, why, kStage);
    }
    if (withImages && UsesImage(step.kind)) {
        const bool named = step.image >= 0 && static_cast<size_t>(step.image) < job.images.size();
        const JobImage* in = named ? &job.images[static_cast<size_t>(step.image)] : nullptr;
        if (in == nullptr || (in->path.empty() && !in->loaded))
            return Refused(host, Cause::EmptyInput, MsgKind::Warning, text::kInputMissing, kStage);
        const bool flash = step.kind == K::WriteFlash || step.kind == K::VerifyFlash;
        // A file with nothing for this memory (an ELF without it, a HEX
        // file of its end record alone) would "write" nothing and pass.
        if (in->loaded && !in->image.HasData())
            return Refused(host, Cause::EmptyInput, MsgKind::Warning,
                           FormatText(text::kInputEmpty, in->name.c_str(), flash ? "FLASH" : "EEPROM"), kStage);
    }
    if (step.kind == K::WriteFuses && known) {
        // Only the bytes written count; the others are written back as read.
        const unsigned risks = FuseRisksOfValue(device, step.fuses, step.fuseBytes) &
                               (job.fusePolicy.risky == RiskyFuses::Refuse ? ~0u : fuse_risk::kReleasesSpien);
        if (risks != 0) return Refused(host, Cause::Policy, MsgKind::Error, RiskRefusal(risks, job.fusePolicy), kStage);
    }
    return {.ok = true};
}

Job BatchJob(const BatchSettings& s) {
    Job job;
    job.images = {JobImage{.name = s.flashFile, .path = s.flashFile}, JobImage{.name = s.eepromFile, .path = s.eepromFile}};
    const uint32_t mask = s.steps | (s.eraseAlways ? step_bit::kErase : 0);
    for (const StepInfo& info : kSteps) {
        if (info.bit == 0 || (mask & info.bit) == 0) continue;
        JobStep step{.kind = info.kind};
        switch (info.need) {
            case N::Flash: step.image = 0; break;
            case N::Eeprom: step.image = 1; break;
            case N::Fuses:
                if (!s.fuseEnabled) continue;
                step.fuses = s.fuses;
                break;
            case N::Lock:
            case N::LockWrite:
                if (!s.lockEnabled) continue;
                step.lock = s.lock;
                break;
            case N::Calibration:
                if (!s.calibEnabled) continue;
                step.calib = s.calib;
                break;
            case N::Nothing: break;
        }
        job.steps.push_back(step);
    }
    job.calibFromChip = s.calibEnabled ? s.calibFromChip : std::nullopt;
    return job;
}

bool CalibMemoryOfText(const std::string& text, CalibMemory& memory) {
    if (text.starts_with("FLASH")) return memory = CalibMemory::Flash, true;
    if (text.starts_with("EEPROM")) return memory = CalibMemory::Eeprom, true;
    return false;
}

bool LoadJobImage(COrioleCore& core, Job& job, size_t index) {
    JobImage& in = job.images[index];
    if (in.loaded || in.path.empty()) return true;
    bool flash = true;
    for (const JobStep& step : job.steps)
        if (step.image == static_cast<int>(index)) flash = step.kind == K::WriteFlash || step.kind == K::VerifyFlash;
    if (!(flash ? core.LoadFlashImage(in.path, in.image) : core.LoadEepromImage(in.path, in.image))) return false;
    in.loaded = true;
    return true;
}

JobResult RunJob(COrioleCore& core, Job& job, const JobEvents& events) {
    core.ForgetFailures();
    IOperationHost& host = core.Host();
    JobResult result;
    // A failure's result says whether the box was reached before it.
    auto touched = [&](JobResult r) {
        r.chipTouched = result.chipTouched;
        return r;
    };
    auto fail = [&](const char* stage, Cause fallback) {
        JobResult r = FailureOf(core, fallback, "");
        r.stage = stage;
        return touched(r);
    };
    auto wanted = [&](const JobStep& step) { return !events.wanted || events.wanted(step); };
    std::vector<bool> prepared(job.steps.size());
    for (size_t i = 0; i < job.steps.size(); ++i) prepared[i] = wanted(job.steps[i]);
    // Checks the steps wanted now: what can be refused for the device
    // already chosen is refused before the box is opened.
    auto check = [&](bool withImages) {
        for (size_t i = 0; i < job.steps.size(); ++i) {
            if (!prepared[i]) continue;
            if (JobResult r = CheckStep(job, job.steps[i], core.Device(), host, withImages); !r.ok) return touched(r);
        }
        return JobResult{.ok = true};
    };
    auto load = [&](size_t i) {
        const JobStep& step = job.steps[i];
        return !UsesImage(step.kind) || step.image < 0 || LoadJobImage(core, job, static_cast<size_t>(step.image));
    };
    if (JobResult r = check(false); !r.ok) return r;
    // With the device already chosen, a file that cannot be programmed into
    // it is refused before the box is opened; a detection that finds
    // another device loads the files again for it.
    const int chosenRow = core.DeviceRow();
    if (core.Device().id > 0) {
        for (size_t i = 0; i < job.steps.size(); ++i)
            if (prepared[i] && !load(i)) return fail("load", Cause::File);
        if (!job.stamp)
            if (JobResult r = check(true); !r.ok) return r;
    }

    bool needsDevice = job.deviceRow != 0 || job.calibFromChip.has_value();
    for (size_t i = 0; i < job.steps.size(); ++i) {
        const StepNeed need = InfoOf(job.steps[i].kind).need;
        needsDevice = needsDevice || (prepared[i] && need != N::Nothing && (need != N::Flash || job.steps[i].image >= 0));
    }
    bool first = true;
    // The detection that decides what the inputs are loaded and checked for.
    if (job.detected) {
        first = false;
    } else if (needsDevice && core.IsAutoDetect()) {
        result.chipTouched = true;
        if (!core.CheckDevice(true)) return fail("detect", Cause::NotDetected);
        first = false;
    }
    if (job.deviceRow != 0 && core.DeviceRow() != job.deviceRow) {
        std::string refusal = FormatText(text::kProductionWrongDevice, core.Device().name);
        if (job.deviceHint != nullptr) refusal += std::string(" ") + job.deviceHint;
        return touched(Refused(host, Cause::OtherDevice, MsgKind::Warning, refusal, "detect"));
    }
    if (core.DeviceRow() != chosenRow)
        for (JobImage& in : job.images)
            if (!in.path.empty()) in.loaded = false;
    for (size_t i = 0; i < job.steps.size(); ++i)
        if (prepared[i] && !load(i)) return fail("load", Cause::File);
    // What can be refused for the device found is refused now (the images
    // once they are final, after the stamp).
    if (JobResult r = check(!job.stamp); !r.ok) return r;
    FusePolicy policy = job.fusePolicy;
    // The bytes read there were shown; the first fuse write does not show
    // the same bytes again.
    bool currentShown = false;
    {
        const JobResult r = CheckCurrentFuses(core, job, prepared, first, policy, events);
        currentShown = r.chipTouched;
        result.chipTouched = result.chipTouched || r.chipTouched;
        if (!r.ok) return touched(r);
    }
    if (job.calibFromChip && !CalibrationFrequencies(core.Device().id).empty()) {
        result.chipTouched = true;
        uint8_t value = 0xFF;
        if (!core.ReadCalibrationByte(*job.calibFromChip, value, first)) return fail("calibration", Cause::Other);
        first = false;
        result.calibration = value;
        for (JobStep& step : job.steps)
            if (step.kind == K::WriteCalibration || step.kind == K::VerifyCalibration) step.calib.value = value;
    }
    if (job.stamp && !job.stamp(job.images)) return fail("stamp", Cause::Other);
    if (JobResult r = check(true); !r.ok) return r;

    if (events.onCurrentFuses) policy.onCurrent = events.onCurrentFuses;
    for (size_t i = 0; i < job.steps.size(); ++i) {
        const JobStep& step = job.steps[i];
        if (!wanted(step)) continue;
        const StepInfo& info = InfoOf(step.kind);
        // A step first wanted now (a box ticked during the run) is loaded
        // and checked as the others were.
        if (!prepared[i]) {
            prepared[i] = true;
            if (!load(i)) return fail("load", Cause::File);
            if (JobResult r = CheckStep(job, step, core.Device(), host); !r.ok) return touched(r);
        }
        OpOptions o = step.quiet ? Quietly(true) : job.options;
        o.timing = first || info.timing == T::Always || info.timing == T::Keeps;
        o.verify = step.verify;
        if (events.onStart) events.onStart(step);
        const int shown = core.FailuresShown();
        result.chipTouched = true;
        const bool ok = [&] {
            const ImageBuffer* image =
                UsesImage(step.kind) ? &job.images[static_cast<size_t>(step.image)].image : nullptr;
            // A quiet write does no verify of its own; the job's verify follows it.
            const bool ownVerify = step.verify && !o.report;
            const OpOptions after{.timing = false, .confirm = false, .report = false};
            CalibOptions c;
            static_cast<OpOptions&>(c) = o;
            c.checkRange = c.warnMismatch = step.strictCalibration;
            switch (step.kind) {
                case K::Detect: return core.CheckDevice(o.timing);
                case K::Erase: return core.EraseDevice(o);
                case K::WriteFlash:
                    return core.WriteFlash(*image, o) && (!ownVerify || core.VerifyFlash(*image, after));
                case K::VerifyFlash: return core.VerifyFlash(*image, o);
                case K::ReadFlash:
                    return core.ReadFlash(step.readBytes, o.timing) && (!events.onRead || events.onRead(step, core.FlashRead()));
                case K::WriteEeprom:
                    return core.WriteEeprom(*image, o) && (!ownVerify || core.VerifyEeprom(*image, after));
                case K::VerifyEeprom: return core.VerifyEeprom(*image, o);
                case K::ReadEeprom:
                    return core.ReadEeprom(step.readBytes) && (!events.onRead || events.onRead(step, core.EepromRead()));
                case K::WriteFuses: {
                    FusePolicy p = policy;
                    p.onlyBytes = step.fuseBytes;
                    FuseBytes written = step.fuses;
                    p.onCurrent = [&](const FuseBytes& current) {
                        if (policy.onCurrent && !std::exchange(currentShown, false)) policy.onCurrent(current);
                        written = MergedFuses(current, step.fuses, step.fuseBytes);
                    };
                    return core.WriteFuses(step.fuses, o, p) && (!ownVerify || core.VerifyFuses(written, after));
                }
                case K::VerifyFuses: {
                    if (step.fuseBytes == 0) return core.VerifyFuses(step.fuses, o);
                    // The bytes not named are compared as the chip holds them.
                    FuseBytes current;
                    if (!core.ReadFuses(current, o.timing)) return false;
                    OpOptions rest = o;
                    rest.timing = false;
                    return core.VerifyFuses(MergedFuses(current, step.fuses, step.fuseBytes), rest);
                }
                case K::ReadFuses: {
                    FuseBytes f;
                    if (!core.ReadFuses(f, o.timing)) return false;
                    const uint8_t bytes[] = {f.ext, f.high, f.low};
                    return !events.onRead || events.onRead(step, bytes);
                }
                case K::WriteLock: {
                    if (!core.WriteLockBits(step.lock, o)) return false;
                    if (!ownVerify) return true;
                    // Written, and nothing can say whether it took: a
                    // warning, never a silent pass.
                    if (!DescribeMemory(core.Device(), Memory::Lock).readable)
                        return host.ShowMessage(MsgKind::Warning, text::kLockNotVerified), true;
                    return core.VerifyLockBits(step.lock, after);
                }
                case K::VerifyLock: return core.VerifyLockBits(step.lock, o);
                case K::ReadLock: {
                    uint8_t lock = 0xFF;
                    if (!core.ReadLockBits(lock, o.timing)) return false;
                    return !events.onRead || events.onRead(step, std::span(&lock, 1));
                }
                case K::WriteCalibration:
                    return core.WriteCalibration(step.calib, c) &&
                           (!ownVerify || core.VerifyCalibration(step.calib, CalibOptions{after}));
                case K::VerifyCalibration: return core.VerifyCalibration(step.calib, c);
                case K::ReadCalibration: {
                    uint8_t value = 0xFF;
                    if (!core.ReadCalibrationByte(step.calibIndex, value, o.timing)) return false;
                    return !events.onRead || events.onRead(step, std::span(&value, 1));
                }
                case K::Custom: return !step.custom || step.custom(o);
            }
            return false;
        }();
        // An error reported while the step ran fails it, whatever it returned.
        const bool passed = ok && core.FailuresShown() == shown;
        if (events.onEnd) events.onEnd(step, passed);
        if (!passed) {
            JobResult r = FailureOf(core, IsVerify(step.kind) ? Cause::VerifyMismatch : Cause::Other,
                                    IsVerify(step.kind) ? text::kVerifyMismatch : "");
            r.failedStep = static_cast<int>(i);
            r.chipTouched = true;
            r.calibration = result.calibration;
            return r;
        }
        // The box keeps the timing it was last given, but not across an
        // erase: the step after it sends the timing again.
        first = info.timing == T::Keeps || (info.timing == T::Passes && first);
    }
    result.ok = true;
    return result;
}

}  // namespace oriole
