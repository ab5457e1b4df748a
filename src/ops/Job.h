#pragma once
// A programming run as one value: its steps, their inputs, and the rules it
// runs under. Every front end (the batch dialog, production runs, the
// command line's device commands and avrdude form, the main window's
// erase-then-write) builds a Job and hands it to RunJob; none strings the
// operations together itself or restates a rule. The rules live here:
//
//  - before the chip is touched, each with one message: a memory the device
//    lacks, cannot read (a verify) or cannot write, as the memory table
//    (devices/Memories.h) says; a calibration address past the end of its
//    memory; an input with no data for its memory; a fuse value that would
//    release SPIEN (and, where risky values are refused, one that programs
//    RSTDISBL or DWEN), for the whole set and for a single byte alike;
//  - the job's own lock write closes the chip until an erase: a FLASH or
//    EEPROM write (a calibration byte included) after lock mode 2 or 3, and
//    a verify or read of them after mode 3, is refused before the chip is
//    touched. The steps are never reordered: the job runs them in the order
//    it was given, so the verify belongs before the lock write (the batch's
//    order has it there);
//  - a run that changes the chip before its first fuse write (an erase, a
//    FLASH write) reads the chip's fuse bytes once, right after the
//    detection and before anything is erased, and applies the rules that
//    need them (a clock source change) there; the fuse write applies the
//    job's FusePolicy again against the bytes it reads in its own frame
//    (where nothing comes before it, that read is the one before anything
//    is written);
//  - a job with a device row refuses a chip of another device after the
//    detection, before anything is written;
//  - the verifies of fuses and lock bits compare only the bits the device
//    has (the core's verify masks the others, for every caller);
//  - a lock write with its own verify on a device that cannot read its lock
//    bits back warns that it was not verified;
//  - the first step sends the device's timing, later ones rely on the box
//    keeping it (the erase passes the first place on; the lock write sends it
//    itself);
//  - the run stops at the first step that fails, and a step counts as failed
//    when any failure was reported while it ran, whatever it returned.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/MessageHost.h"
#include "image/ImageBuffer.h"
#include "ops/OrioleCore.h"

namespace oriole {

// The steps of the batch dialog as bits of its step mask (the settings'
// AutoCheck key), in the order they run.
namespace step_bit {
inline constexpr uint32_t kErase = 0x001;
inline constexpr uint32_t kWriteFlash = 0x002;
inline constexpr uint32_t kVerifyFlash = 0x004;
inline constexpr uint32_t kWriteEeprom = 0x008;
inline constexpr uint32_t kVerifyEeprom = 0x010;
inline constexpr uint32_t kWriteFuses = 0x020;
inline constexpr uint32_t kVerifyFuses = 0x040;
inline constexpr uint32_t kWriteLock = 0x080;
inline constexpr uint32_t kVerifyLock = 0x100;
inline constexpr uint32_t kWriteCalibration = 0x200;
inline constexpr uint32_t kVerifyCalibration = 0x400;
inline constexpr uint32_t kEvery = 0x7FF;
}  // namespace step_bit

enum class StepKind : uint8_t {
    Detect,
    Erase,
    WriteFlash,
    VerifyFlash,
    ReadFlash,
    WriteEeprom,
    VerifyEeprom,
    ReadEeprom,
    WriteFuses,
    VerifyFuses,
    ReadFuses,
    WriteLock,
    VerifyLock,
    ReadLock,
    WriteCalibration,
    VerifyCalibration,
    ReadCalibration,
    Custom,  // a front end's own step run between the others (a terminal line)
};

// How a step treats the device's timing in its begin sequence.
enum class StepTiming : uint8_t {
    First,   // sent when the step is the first to run
    Always,  // always sent; the steps after it rely on it
    Keeps,   // always sent, and the step after it still counts as the first
    // Given as First is, but the step may send nothing (a front end's own
    // step): the step after it counts as the first when this one did.
    Passes,
};

// What a step needs of the device.
enum class StepNeed : uint8_t { Nothing, Flash, Eeprom, Fuses, Lock, LockWrite, Calibration };

// One row per step kind.
struct StepInfo {
    StepKind kind;
    uint32_t bit;     // in the batch step mask (step_bit); 0 for none
    const char* log;  // the batch dialog's log text, "" for none
    const char* name; // short name for logs and --steps
    StepTiming timing;
    StepNeed need;
};

std::span<const StepInfo> StepTable();
const StepInfo& InfoOf(StepKind kind);
// The row with this step-mask bit; null for none.
const StepInfo* InfoOfBit(uint32_t bit);

// A FLASH or EEPROM input: a file, loaded for the device before the chip is
// touched, or an image loaded before (path empty).
struct JobImage {
    std::string name;  // how messages name it: the file as given
    std::string path;  // empty: `image` is given
    ImageBuffer image;
    bool loaded = false;  // set by the load; true for an image given
};

struct JobStep {
    StepKind kind = StepKind::Erase;
    int image = -1;        // FLASH/EEPROM write and verify: index into Job::images
    bool verify = false;   // a write followed by the verify of what it wrote
    bool quiet = false;    // nothing asked or shown but failures, whatever the job's options
    FuseBytes fuses;       // fuse write and verify
    // Fuse write and verify: the bytes to write or compare (kFuse* bits), 0
    // all; the verify compares the others as the chip holds them.
    int32_t fuseBytes = 0;
    uint8_t lock = 0xFF;   // lock write and verify
    CalibTarget calib;     // calibration write and verify
    uint8_t calibIndex = 0;  // calibration read: the frequency's index
    uint32_t readBytes = 0;  // FLASH/EEPROM read: the bytes from address 0 to read, 0 all
    // Calibration write and verify as the calibration dialog runs them: an
    // address past its memory is refused before the frame opens, and a byte
    // read back that differs is a warning rather than a notice.
    bool strictCalibration = false;
    // A custom step's work; the options carry the timing its turn gives it.
    std::function<bool(const OpOptions& options)> custom = {};
};

struct Job {
    std::vector<JobStep> steps;
    std::vector<JobImage> images;
    // What each step does besides its work (asked, shown); the timing and
    // verify come from the steps.
    OpOptions options = Quietly(true);
    FusePolicy fusePolicy;
    // Not 0: the chip must be this device (checked after the detection).
    int deviceRow = 0;
    // Added to the refusal of another device: how to go on with it anyway.
    const char* deviceHint = nullptr;
    // The front end has just detected the chip on the socket itself (the
    // avrdude form reads the signature as avrdude does): no detection of
    // the job's own, and the box holds the timing.
    bool detected = false;
    // Read the calibration byte of this index after the detection, when the
    // device has one; it becomes the value of the calibration steps.
    std::optional<uint8_t> calibFromChip;
    // Called after the detection and before the first step, with the images
    // loaded for the device: a production run stamps its serial number here.
    // False: the run ends (the function has reported why).
    std::function<bool(std::vector<JobImage>& images)> stamp = {};
};

struct JobEvents {
    // Asked at the start and again as each step's turn comes (empty: every
    // step runs). A step first wanted at its turn is loaded and checked then.
    std::function<bool(const JobStep&)> wanted = {};
    std::function<void(const JobStep&)> onStart = {};
    std::function<void(const JobStep&, bool ok)> onEnd = {};
    // The bytes a read step read (the memory; ext, high, low; the lock; the
    // calibration byte). False when the front end could not keep them; it
    // has reported why.
    std::function<bool(const JobStep&, std::span<const uint8_t> bytes)> onRead = {};
    // The fuse bytes the chip holds, read by a fuse write before it writes.
    std::function<void(const FuseBytes&)> onCurrentFuses = {};
};

struct JobResult {
    bool ok = false;
    // The step that failed; -1 when the run failed before its first step
    // (a refused input, the detection) or did not fail.
    int failedStep = -1;
    // Where a run failed before its first step: what it was doing.
    const char* stage = "";
    Cause cause = Cause::None;
    std::string message;     // the failure's one message as shown
    bool chipTouched = false;  // something was sent to the box
    std::optional<uint8_t> calibration;  // the byte read for calibFromChip
};

// The checks that need no chip, against `device` (nothing is sent): every
// memory the steps use exists, every image has data for its memory, and the
// fuse values are not refused whatever the chip holds. The failure is
// reported through `host` with its cause. Without `withImages` the images
// are not looked at (they are not final yet).
[[nodiscard]] JobResult CheckJob(const Job& job, const AVR_DEVICE& device, IMessageHost& host,
                                 bool withImages = true);

// Runs `job` on `core`'s box: the detection where the steps need the device,
// the inputs loaded for it, the checks, then the steps in order.
[[nodiscard]] JobResult RunJob(COrioleCore& core, Job& job, const JobEvents& events = {});

// What the batch dialog (from the main window's controls) and a setting
// file hold for a run: the step mask and the values of its steps. Both turn
// into a Job through BatchJob alone.
struct BatchSettings {
    uint32_t steps = 0x001;  // step_bit mask
    // The batch dialog's erase runs whatever the mask says (its box is
    // ticked and cannot be cleared); a production run runs the steps it was
    // given, so that a verify-only run wipes nothing.
    bool eraseAlways = true;
    std::string flashFile;
    std::string eepromFile;
    bool fuseEnabled = false;  // the fuse steps run only when enabled
    FuseBytes fuses;
    bool lockEnabled = false;
    uint8_t lock = 0xFF;
    bool calibEnabled = false;
    CalibTarget calib;                   // the value, unless read from the chip
    std::optional<uint8_t> calibFromChip;  // the frequency index to read it from
};

// The steps of `settings` in the batch's order, images 0 (FLASH) and 1
// (EEPROM) named by their files.
Job BatchJob(const BatchSettings& settings);

// The calibration memory as the settings store it ("FLASH ...",
// "EEPROM ..."): false for any other text.
[[nodiscard]] bool CalibMemoryOfText(const std::string& text, CalibMemory& memory);

// CheckJob for one of the job's steps.
[[nodiscard]] JobResult CheckStep(const Job& job, const JobStep& step, const AVR_DEVICE& device,
                                  IMessageHost& host, bool withImages = true);

// Loads the image of `job.images[index]` for the core's device, when it has
// a path and is not loaded yet.
[[nodiscard]] bool LoadJobImage(COrioleCore& core, Job& job, size_t index);

}  // namespace oriole
