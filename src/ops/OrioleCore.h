#pragma once
// The programmer's core: the state every device operation shares and the
// operations themselves, with no window system. The main window is a view
// of it (it mirrors m_controls and supplies the host); the command-line tool
// and the tests drive it directly.
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
#include "host/OperationHost.h"
#include "image/ImageBuffer.h"
#include "image/ImageFormat.h"
#include "link/DeviceSelector.h"
#include "link/LinkState.h"
#include "link/WriterDriver.h"
#include "link/WriterSpec.h"
#include "ops/MainControls.h"
#include "ops/MemoryBlocks.h"

namespace oriole {

class CWriterLink;
class CFrameHost;

// Bits of m_nQuietFlags: each suppresses the confirmation, the result
// message and the verify that would follow, of one operation; failures are
// still reported.
namespace quiet {
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
}  // namespace quiet

enum class CalibMemory { Flash, Eeprom };

// The calibration byte's place, as the main window's fields give it.
struct CalibTarget {
    uint8_t value = 0;
    uint32_t address = 0;
    CalibMemory memory = CalibMemory::Flash;
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

    // --- Device selection (main window) ---
    void OnSelectDevice() { SelectDevice(m_controls.ListSelection()); }
    void SelectDevice(int row);
    void ClearDeviceValues();
    void EnableDeviceControls(int32_t fuseMask, bool calibration);
    // Auto-detect on, or a device chosen in the list; otherwise the warning.
    [[nodiscard]] bool IsDeviceKnown();

    // IDeviceSelector, for the begin sequence's detection.
    const AVR_DEVICE& SelectedDevice() const override { return *m_pDevice; }
    bool IsAutoDetect() const override { return m_controls.IsChecked(ctl_id::kAutoDetect); }
    [[nodiscard]] bool SelectDetectedDevice(int row) override;
    void ForgetDetectedDevice() override { m_nDevice = 0; }

    // --- Check and erase ---
    [[nodiscard]] bool CheckDevice(bool bTiming);
    [[nodiscard]] bool EraseDevice();

    // --- FLASH and EEPROM ---
    // The format in which the FLASH and EEPROM writes and verifies read their
    // files from now on; Auto (the default) picks it from the file. An ELF
    // gives the FLASH operations its FLASH part and the EEPROM ones its
    // EEPROM part, and a signature in it must be the device's.
    void SetFileFormat(ImageFormat format) { m_fileFormat = format; }
    ImageFormat FileFormat() const { return m_fileFormat; }
    // The fuse, lock and signature bytes of an ELF file, read as the loads
    // read it (SetFileFormat does not apply). False after the message.
    [[nodiscard]] bool ReadElfConfig(const std::string& path, ElfConfigBytes& config);
    [[nodiscard]] bool WriteFlash(const std::string& path, bool bTiming, bool bVerify);
    [[nodiscard]] bool WriteEeprom(const std::string& path, bool bTiming, bool bVerify);
    // length in bytes, 0 = the whole memory.
    [[nodiscard]] bool ReadFlash(uint32_t length, bool bTiming);
    [[nodiscard]] bool ReadEeprom(uint32_t length);
    [[nodiscard]] bool VerifyFlash(const std::string& path, bool bTiming);
    [[nodiscard]] bool VerifyEeprom(const std::string& path, bool bTiming);

    // --- Fuses and lock bits ---
    [[nodiscard]] bool ReadFuses(uint8_t& ext, uint8_t& high, uint8_t& low, bool bTiming);
    [[nodiscard]] bool WriteFuses(uint8_t ext, uint8_t high, uint8_t low, bool bTiming, bool bVerify);
    [[nodiscard]] bool VerifyFuses(uint8_t ext, uint8_t high, uint8_t low, bool bTiming);
    [[nodiscard]] bool ReadLockBits(uint8_t& lock, bool bTiming);
    [[nodiscard]] bool WriteLockBits(uint8_t lock, bool bTiming, bool bVerify);
    [[nodiscard]] bool VerifyLockBits(uint8_t expected, bool bTiming);
    // The verify that follows a lock write. Where the device cannot send its
    // lock bits back, it reports the write's own result and why no check
    // follows, and counts as passed: the write was acknowledged.
    [[nodiscard]] bool VerifyWrittenLockBits(uint8_t expected);
    // The main window's fuse and lock buttons: values from edits 1015-1017
    // and 1023, verify from boxes 1123 and 1124.
    [[nodiscard]] bool WriteWindowFuses(bool bTiming);
    [[nodiscard]] bool VerifyWindowFuses(bool bTiming);
    [[nodiscard]] bool WriteWindowLockBits();
    [[nodiscard]] bool VerifyWindowLockBits(bool bTiming);

    // --- Calibration byte ---
    [[nodiscard]] bool ReadCalibrationByte(uint8_t index, uint8_t& value, bool bTiming);
    [[nodiscard]] bool ReadFlashByte(uint32_t address, uint8_t& value, bool bTiming);
    [[nodiscard]] bool WriteFlashByte(uint32_t address, uint8_t value, bool bTiming);
    [[nodiscard]] bool ReadEepromByte(uint32_t address, uint8_t& value);
    [[nodiscard]] bool WriteEepromByte(uint32_t address, uint8_t value, bool bTiming);
    // The target in fields 1135, 1149 and 1150; the warning when one is missing.
    [[nodiscard]] bool GetCalibrationTarget(CalibTarget& target);
    [[nodiscard]] bool WriteCalibration(bool bTiming);
    [[nodiscard]] bool VerifyCalibration(bool bTiming);

    // --- Shared state (the main window's fields) ---
    CLinkState m_state;            // m_nAbort, m_nTimeoutTicks, link settings, m_nSysFreq
    uint32_t m_nQuietFlags = 0;
    int32_t m_nDevice = 0;
    const AVR_DEVICE* m_pDevice;   // never null; row 0 when no device
    ImageBuffer m_imgFlash;
    ImageBuffer m_imgEeprom;
    std::vector<uint8_t> m_pFlashRead;   // last FLASH contents read
    std::vector<uint8_t> m_pEepromRead;  // last EEPROM contents read
    CMainControls m_controls;

    IOperationHost& Host() { return m_host; }

private:
    using Body = std::function<bool(CWriterLink&)>;
    // The frame of every operation: open, begin, `body` only after a good
    // begin, B, close. `needsDevice`: refuse before opening when no device is
    // selected and auto-detect is off.
    [[nodiscard]] bool RunFrame(bool timing, const Body& body, bool needsDevice = true);
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
                                 ImageSpace space);
    [[nodiscard]] bool WriteFlashPages(CWriterLink& link, const std::string& path);
    [[nodiscard]] bool WriteFlashChunks(CWriterLink& link, const std::string& path);
    using BlockWriter = std::function<bool(uint32_t wordAddress, std::span<const uint8_t> bytes)>;
    [[nodiscard]] bool WriteFlashBlocks(CWriterLink& link, const std::string& path, uint32_t words,
                                        const BlockWriter& writeBlock);
    [[nodiscard]] bool WriteEepromPages(CWriterLink& link, const std::string& path);
    [[nodiscard]] bool WriteEepromChunks(CWriterLink& link, const std::string& path);
    [[nodiscard]] bool ReadMemory(CWriterLink& link, bool flash, uint32_t length);
    // One E or H per span, into `buffer` at the spans' addresses, with one
    // progress window over all of them.
    [[nodiscard]] bool ReadSpans(CWriterLink& link, bool flash, const std::vector<ByteSpan>& spans,
                                 std::vector<uint8_t>& buffer);
    // Reads what the loaded image has data for and compares; the result message.
    [[nodiscard]] bool VerifyMemory(bool flash, bool bTiming);
    [[nodiscard]] bool CompareImage(const ImageBuffer& image, const std::vector<uint8_t>& read,
                                    uint32_t quietBit, const char* errorFormat, const char* okText);
    [[nodiscard]] bool ReadCalibrationBack(const CalibTarget& target, uint8_t& value);
    void ShowCalibVerify(bool equal);

    IOperationHost& m_host;
    CFrameHost* m_pFrameHost = nullptr;  // the host of the running frame, if any
    std::string m_strWriterSpec;
    WriterSpecSource m_writerSource = WriterSpecSource::User;
    std::unique_ptr<IWriterDriver> m_pDriver;
    ImageFormat m_fileFormat = ImageFormat::Auto;
};

}  // namespace oriole
