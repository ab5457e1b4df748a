#pragma once
// The programmer's core: the state every device operation shares and the
// operations themselves, with no window system. Operations take their inputs
// as values and reach the user only through the host. The main window drives
// it through CMainWindowAdapter, which reads the window's controls; the
// command-line tool and the tests call it directly.
//
// Every operation returns true for success. The layer that found a failure
// has shown its one message by then; callers only stop.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "devices/Devices.h"
#include "devices/FuseGuard.h"
#include "devices/Memories.h"
#include "host/OperationHost.h"
#include "image/ImageBuffer.h"
#include "image/ImageFormat.h"
#include "link/DeviceSelector.h"
#include "link/LinkState.h"
#include "link/WireTrace.h"
#include "link/WriterDriver.h"
#include "link/WriterSpec.h"
#include "ops/FrameHost.h"
#include "ops/MemoryBlocks.h"

namespace oriole {

class CWriterLink;

// What an operation does besides its work: whether it sends the device's
// timing in its begin sequence, asks before it erases, shows its result,
// and follows a write with the verify of what it wrote. A batch step runs
// quietly (no question, no result, no verify of its own); failures are
// always reported.
struct OpOptions {
    bool timing = true;
    bool confirm = true;
    bool report = true;
    bool verify = false;
};

// A step of a batch: timing as the batch gives it, nothing asked or shown.
inline OpOptions Quietly(bool timing) { return {.timing = timing, .confirm = false, .report = false}; }

enum class CalibMemory { Flash, Eeprom };

// Where the calibration byte goes.
struct CalibTarget {
    uint8_t value = 0;
    uint32_t address = 0;
    CalibMemory memory = CalibMemory::Flash;
};

// The calibration write and verify of the main window (the defaults) and of
// the calibration dialog, which refuses an address beyond the memory before
// anything is sent, reports a write without its verify, and warns when the
// byte read back differs.
struct CalibOptions : OpOptions {
    bool checkRange = false;
    bool warnMismatch = false;
};

// What a fuse write does with a value that could leave the chip beyond this
// writer's reach (RSTDISBL, DWEN, another clock source): the windows ask
// (No unless the user says Yes), the command line and production refuse
// unless the user allowed it, and the avrdude form writes it as avrdude
// does. A write that releases SPIEN is always refused.
enum class RiskyFuses : uint8_t { Ask, Refuse, Allow };

struct FusePolicy {
    RiskyFuses risky = RiskyFuses::Ask;
    const char* hint = nullptr;  // how to allow a refused write; shown with the refusal
    // The bytes to write (kFuseExt, kFuseHigh, kFuseLow bits); the others are
    // written back as read. 0: all of them.
    int32_t onlyBytes = 0;
    // Called with the bytes the chip holds, read before the write.
    std::function<void(const FuseBytes&)> onCurrent = {};
    // Risks (fuse_risk bits) the user already allowed for this write, when
    // the job asked before it touched the chip: not asked again. A SPIEN
    // release is never accepted.
    unsigned accepted = 0;
};

class COrioleCore : public IDeviceSelector {
public:
    explicit COrioleCore(IOperationHost& host);
    ~COrioleCore() override;
    COrioleCore(const COrioleCore&) = delete;
    COrioleCore& operator=(const COrioleCore&) = delete;

    // --- The way to the writer ---
    // The driver is made from the writer spec at the next operation and kept
    // for the following ones; the link is opened and closed per operation.
    // `source` says whether the user gave the spec or a settings file did,
    // which decides what it may load and open.
    void SetWriterSpec(std::string spec, WriterSpecSource source);
    const std::string& WriterSpec() const { return m_strWriterSpec; }
    // Uses this driver from now on (tests, benchmarks, a box chosen elsewhere).
    void SetDriver(std::unique_ptr<IWriterDriver> driver);
    // Every driver call from now on also goes to `trace` (null: none).
    void SetTrace(std::shared_ptr<CWireTrace> trace);
    // The link settings, the abort flag and the wait's tick counter, which
    // the host's timer counts down.
    CLinkState& LinkState() { return m_state; }
    const CLinkState& LinkState() const { return m_state; }

    // --- The device ---
    // Row of the catalogue; 0 is none. Selecting a row does not touch the box.
    void SelectDevice(int row);
    int DeviceRow() const { return m_nDevice; }
    const AVR_DEVICE& Device() const { return *m_pDevice; }
    // On: the begin sequence of every operation detects the device and selects it.
    void SetAutoDetect(bool on) { m_bAutoDetect = on; }
    // Called when a detection selected a device (its row, and the row before).
    std::function<void(int row, int previous)> onDeviceDetected;

    // IDeviceSelector, for the begin sequence's detection.
    const AVR_DEVICE& SelectedDevice() const override { return *m_pDevice; }
    bool IsAutoDetect() const override { return m_bAutoDetect; }
    [[nodiscard]] bool SelectDetectedDevice(int row) override;
    void ForgetDetectedDevice() override { m_nDevice = 0; }

    // --- Check and erase ---
    [[nodiscard]] bool CheckDevice(bool timing);
    // Asks first (confirm) and reports the erase (report); the timing is always sent.
    [[nodiscard]] bool EraseDevice(const OpOptions& options = {});

    // --- FLASH and EEPROM ---
    // The format in which the FLASH and EEPROM loads read their files from
    // now on; Auto (the default) picks it from the file. An ELF gives the
    // FLASH operations its FLASH part and the EEPROM ones its EEPROM part,
    // and a signature in it must be the device's.
    void SetFileFormat(ImageFormat format) { m_fileFormat = format; }
    ImageFormat FileFormat() const { return m_fileFormat; }
    // The command line's rules for those loads: Auto by content, and (the
    // avrdude form) HEX and S-records without their end record taken.
    void SetLoadRules(bool byContent, bool acceptMissingEnd) {
        m_bFormatByContent = byContent;
        m_bAcceptMissingEnd = acceptMissingEnd;
    }
    // How those loads read value lists (ImageFormat::ValueList, and found by
    // content); without it they are not recognised.
    void SetValueListParser(ValueListParser parser) { m_valueList = std::move(parser); }
    // The fuse, lock and signature bytes of an ELF file, read as the loads
    // read it (SetFileFormat does not apply). False after the message.
    [[nodiscard]] bool ReadElfConfig(const std::string& path, ElfConfigBytes& config);
    // Loads a file for the device now selected, as the writes and verifies
    // do: sized to its memory, the ELF's signature checked against it.
    // `shown`: how messages name the file (empty: by its path).
    [[nodiscard]] bool LoadFlashImage(const std::string& path, ImageBuffer& image, const std::string& shown = {});
    [[nodiscard]] bool LoadEepromImage(const std::string& path, ImageBuffer& image, const std::string& shown = {});
    // Writes from a file, loaded once inside the frame (the device is known
    // there), or from an image loaded before. With verify, the image written
    // is verified and its verdict is the result.
    [[nodiscard]] bool WriteFlash(const std::string& path, const OpOptions& options);
    [[nodiscard]] bool WriteFlash(const ImageBuffer& image, const OpOptions& options);
    [[nodiscard]] bool WriteEeprom(const std::string& path, const OpOptions& options);
    [[nodiscard]] bool WriteEeprom(const ImageBuffer& image, const OpOptions& options);
    [[nodiscard]] bool VerifyFlash(const std::string& path, const OpOptions& options);
    [[nodiscard]] bool VerifyFlash(const ImageBuffer& image, const OpOptions& options);
    [[nodiscard]] bool VerifyEeprom(const std::string& path, const OpOptions& options);
    [[nodiscard]] bool VerifyEeprom(const ImageBuffer& image, const OpOptions& options);
    // length in bytes, 0 = the whole memory. The bytes read are FlashRead()
    // and EepromRead() until the next whole read.
    [[nodiscard]] bool ReadFlash(uint32_t length, bool timing);
    [[nodiscard]] bool ReadEeprom(uint32_t length);
    const std::vector<uint8_t>& FlashRead() const { return m_pFlashRead; }
    const std::vector<uint8_t>& EepromRead() const { return m_pEepromRead; }
    // The images last loaded for a write or verify.
    const ImageBuffer& FlashImage() const { return m_imgFlash; }
    const ImageBuffer& EepromImage() const { return m_imgEeprom; }
    // Forgets what was read and loaded (new settings, a closing window).
    void ForgetMemories();

    // --- Fuses and lock bits ---
    [[nodiscard]] bool ReadFuses(FuseBytes& fuses, bool timing);
    // Reads the chip's fuse bytes in the same frame and applies `policy`
    // before anything is written.
    [[nodiscard]] bool WriteFuses(FuseBytes fuses, const OpOptions& options, const FusePolicy& policy = {});
    [[nodiscard]] bool VerifyFuses(FuseBytes fuses, const OpOptions& options);
    [[nodiscard]] bool ReadLockBits(uint8_t& lock, bool timing);
    // With verify: where the device cannot send its lock bits back, the
    // write's own result and why no check follows are reported, and it
    // counts as passed: the write was acknowledged.
    [[nodiscard]] bool WriteLockBits(uint8_t lock, const OpOptions& options);
    [[nodiscard]] bool VerifyLockBits(uint8_t expected, const OpOptions& options);

    // --- Calibration byte ---
    [[nodiscard]] bool ReadCalibrationByte(uint8_t index, uint8_t& value, bool timing);
    [[nodiscard]] bool ReadFlashByte(uint32_t address, uint8_t& value, bool timing);
    [[nodiscard]] bool WriteFlashByte(uint32_t address, uint8_t value, bool timing);
    [[nodiscard]] bool ReadEepromByte(uint32_t address, uint8_t& value);
    [[nodiscard]] bool WriteEepromByte(uint32_t address, uint8_t value, bool timing);
    [[nodiscard]] bool WriteCalibration(const CalibTarget& target, const CalibOptions& options);
    [[nodiscard]] bool VerifyCalibration(const CalibTarget& target, const CalibOptions& options);

    // The host the core was given, as the core hands it on: messages shown
    // through it count as the core's failures.
    IOperationHost& Host() { return m_host; }

    // --- Failures ---
    // The first failure reported (by the core or through Host()) since the
    // last ForgetFailures, with its cause; Cause::None when none was.
    const OpFailure& FirstFailure() const { return m_recorder.First(); }
    int FailuresShown() const { return m_recorder.Count(); }
    void ForgetFailures() { m_recorder.Forget(); }
    // Shows a failure found outside the core through the core's host.
    void ReportFailure(Cause cause, MsgKind kind, const std::string& text) { m_host.ShowFailure(cause, kind, text); }

private:
    using Body = std::function<bool(CWriterLink&)>;
    // The frame of every operation: open, begin, `body` only after a good
    // begin, B, close. `needsDevice`: refuse before opening when no device is
    // selected and auto-detect is off. A device without the memory the
    // running operation needs (m_needs) is refused after the begin, before
    // the body sends anything, with one message after the close.
    [[nodiscard]] bool RunFrame(bool timing, const Body& body, bool needsDevice = true);
    // The memory an operation works on, where not every device has it. The
    // device is known only after the begin sequence, so every frame the
    // operation runs checks it.
    enum class Needs { Nothing, Fuses, Calibration };
    class NeedsScope {
    public:
        NeedsScope(COrioleCore& core, Needs needs) : m_core(core), m_saved(core.m_needs) {
            core.m_needs = needs;
        }
        ~NeedsScope() { m_core.m_needs = m_saved; }
        NeedsScope(const NeedsScope&) = delete;
        NeedsScope& operator=(const NeedsScope&) = delete;

    private:
        COrioleCore& m_core;
        Needs m_saved;
    };
    // The name of the needed memory when the device lacks it, else nullptr.
    [[nodiscard]] const char* MissingMemory() const;
    // A device is selected or auto-detect will find one; otherwise the
    // unknown-device warning.
    [[nodiscard]] bool CanAddressDevice();
    IWriterDriver* Driver();
    std::unique_ptr<IProgress> CreateProgressDlg(int32_t lower, int32_t upper, const char* caption,
                                                 const char* message);
    [[nodiscard]] bool ReadFlashBlock(CWriterLink& link, uint32_t block, uint32_t words,
                                      std::span<uint8_t> out);
    [[nodiscard]] bool ReadEepromBlock(CWriterLink& link, uint32_t block, uint32_t bytes,
                                       std::span<uint8_t> out);
    [[nodiscard]] bool LoadImage(ImageBuffer& image, uint32_t capacity, const std::string& path,
                                 ImageSpace space, const std::string& shown);
    // The write of either memory: the image comes loaded, or is loaded from
    // `path` inside the frame into the core's own image.
    [[nodiscard]] bool WriteMemory(bool flash, const std::string* path, const ImageBuffer* image,
                                   const OpOptions& options);
    [[nodiscard]] bool WriteFlashPages(CWriterLink& link, const ImageBuffer& image);
    [[nodiscard]] bool WriteFlashChunks(CWriterLink& link, const ImageBuffer& image);
    using BlockWriter = std::function<bool(uint32_t wordAddress, std::span<const uint8_t> bytes)>;
    [[nodiscard]] bool WriteFlashBlocks(CWriterLink& link, const ImageBuffer& image, uint32_t words,
                                        const BlockWriter& writeBlock);
    [[nodiscard]] bool WriteEepromPages(CWriterLink& link, const ImageBuffer& image);
    [[nodiscard]] bool WriteEepromChunks(CWriterLink& link, const ImageBuffer& image);
    [[nodiscard]] bool ReadMemory(CWriterLink& link, bool flash, uint32_t length);
    // One E or H per span, into `buffer` at the spans' addresses, with one
    // progress window over all of them.
    [[nodiscard]] bool ReadSpans(CWriterLink& link, bool flash, const std::vector<ByteSpan>& spans,
                                 std::vector<uint8_t>& buffer);
    // Reads what the image has data for and compares; the result message.
    [[nodiscard]] bool VerifyMemory(bool flash, const ImageBuffer& image, bool timing, bool report);
    [[nodiscard]] bool CompareImage(const ImageBuffer& image, const std::vector<uint8_t>& read,
                                    bool report, const char* errorFormat, const char* okText);
    [[nodiscard]] bool ReadFuseBytes(CWriterLink& link, FuseBytes& fuses);
    // The verify that follows a lock write.
    [[nodiscard]] bool VerifyWrittenLockBits(uint8_t expected);
    [[nodiscard]] bool ReadCalibrationBack(const CalibTarget& target, uint8_t& value);
    void ShowCalibVerify(bool equal, MsgKind mismatch);
    void Message(MsgKind kind, const std::string& text);
    void Failure(Cause cause, MsgKind kind, const std::string& text);

    CLinkState m_state;            // m_nAbort, m_nTimeoutTicks, link settings, m_nSysFreq
    int32_t m_nDevice = 0;
    const AVR_DEVICE* m_pDevice;   // never null; row 0 when no device
    bool m_bAutoDetect = true;
    Needs m_needs = Needs::Nothing;
    ImageBuffer m_imgFlash;
    ImageBuffer m_imgEeprom;
    std::vector<uint8_t> m_pFlashRead;   // last FLASH contents read
    std::vector<uint8_t> m_pEepromRead;  // last EEPROM contents read

    CFailureRecorder m_recorder;   // the given host, failures recorded
    IOperationHost& m_host;        // m_recorder
    CFrameHost* m_pFrameHost = nullptr;  // the host of the running frame, if any
    std::string m_strWriterSpec;
    WriterSpecSource m_writerSource = WriterSpecSource::User;
    std::unique_ptr<IWriterDriver> m_pDriver;
    bool m_bFormatByContent = false;
    bool m_bAcceptMissingEnd = false;
    ValueListParser m_valueList;
    std::shared_ptr<CWireTrace> m_pTrace;
    ImageFormat m_fileFormat = ImageFormat::Auto;
};

}  // namespace oriole
