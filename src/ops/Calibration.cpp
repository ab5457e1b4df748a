// The oscillator calibration byte: reading it from the device, single-byte
// reads and read-modify-writes of FLASH and EEPROM, and the calibration
// write and verify of the main window and of the calibration dialog.
#include <vector>

#include "base/FormatText.h"
#include "link/WriterLink.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"

namespace oriole {

namespace {

uint32_t MemoryBytes(const AVR_DEVICE& d, CalibMemory memory) {
    return static_cast<uint32_t>(memory == CalibMemory::Flash ? d.FlashBytes() : d.eepromBytes);
}

}  // namespace

bool COrioleCore::ReadCalibrationByte(uint8_t index, uint8_t& value, bool timing) {
    const NeedsScope needs(*this, Needs::Calibration);
    return RunFrame(timing, [&](CWriterLink& link) { return link.ReadCalibrationByte(index, value); });
}

// The single-byte operations refuse an address the device does not have: the
// writer would wrap it around and change another byte. The device is known
// only after the begin sequence, so the check runs inside the frame and its
// warning follows the close.

bool COrioleCore::ReadFlashByte(uint32_t address, uint8_t& value, bool timing) {
    bool beyond = false;
    const bool r = RunFrame(timing, [&](CWriterLink& link) {
        beyond = address >= MemoryBytes(*m_pDevice, CalibMemory::Flash);
        return !beyond && link.ReadFlashByte(address, value);
    });
    if (beyond) m_host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kAddressBeyondDevice);
    return r;
}

bool COrioleCore::ReadEepromByte(uint32_t address, uint8_t& value) {
    bool beyond = false;
    const bool r = RunFrame(true, [&](CWriterLink& link) {
        beyond = address >= MemoryBytes(*m_pDevice, CalibMemory::Eeprom);
        return !beyond && link.ReadEepromByte(address, value);
    });
    if (beyond) m_host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kAddressBeyondDevice);
    return r;
}

bool COrioleCore::WriteFlashByte(uint32_t address, uint8_t value, bool timing) {
    bool beyond = false;
    const bool r = RunFrame(timing, [&](CWriterLink& link) {
        const AVR_DEVICE& d = *m_pDevice;
        beyond = address >= MemoryBytes(d, CalibMemory::Flash);
        if (beyond) return false;
        if (!d.HasPagedFlash()) {
            // One word with G: the other byte of the word is read first.
            const uint32_t otherAddress = address ^ 1u;
            uint8_t word[2] = {0xFF, 0xFF};
            if (!link.ReadFlashByte(otherAddress, word[otherAddress & 1u])) return false;
            word[address & 1u] = value;
            return link.WriteFlashWords(address / 2, word);
        }
        // The whole page, read and written back with the byte changed.
        const auto words = static_cast<uint32_t>(d.flashPageWords);
        const uint32_t bytes = 2 * words;
        const uint32_t page = address / bytes;
        std::vector<uint8_t> buffer(bytes);
        if (!ReadFlashBlock(link, page, words, buffer)) return false;
        buffer[address & (bytes - 1)] = value;
        return link.WriteFlashPage(page * words, buffer, PieceFailure::FinishPage);
    });
    if (beyond) m_host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kAddressBeyondDevice);
    return r;
}

bool COrioleCore::WriteEepromByte(uint32_t address, uint8_t value, bool timing) {
    bool beyond = false;
    const bool r = RunFrame(timing, [&](CWriterLink& link) {
        const AVR_DEVICE& d = *m_pDevice;
        beyond = address >= MemoryBytes(d, CalibMemory::Eeprom);
        if (beyond) return false;
        if (!d.HasPagedEeprom()) {
            const uint8_t byte[1] = {value};
            return link.WriteEepromBytes(address, byte, false);
        }
        const auto size = static_cast<uint32_t>(d.eepromPageBytes);
        const uint32_t page = address / size;
        std::vector<uint8_t> buffer(size);
        if (!ReadEepromBlock(link, page, size, buffer)) return false;
        buffer[address & (size - 1)] = value;
        return link.WriteEepromPage(page * size, buffer);
    });
    if (beyond) m_host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kAddressBeyondDevice);
    return r;
}

bool COrioleCore::ReadCalibrationBack(const CalibTarget& target, uint8_t& value) {
    return target.memory == CalibMemory::Flash ? ReadFlashByte(target.address, value, false)
                                               : ReadEepromByte(target.address, value);
}

void COrioleCore::ShowCalibVerify(bool equal, MsgKind mismatch) {
    const std::string shown = FormatText(text::kCalibVerify, equal ? text::kCalibOk : text::kCalibError);
    if (equal)
        m_host.ShowMessage(MsgKind::Information, shown);
    else
        m_host.ShowFailure(Cause::VerifyMismatch, mismatch, shown);
}

bool COrioleCore::WriteCalibration(const CalibTarget& target, const CalibOptions& options) {
    // Its frames are those of the single-byte operations, each refusing a
    // device without a calibration byte.
    const NeedsScope needs(*this, Needs::Calibration);
    if (options.checkRange && target.address >= MemoryBytes(*m_pDevice, target.memory)) {
        m_host.ShowFailure(Cause::TooLarge, MsgKind::Warning, text::kAddressBeyondDevice);
        return false;
    }
    // FLASH can only clear bits without an erase; an EEPROM byte is replaced.
    uint8_t old = target.value;
    if (target.memory == CalibMemory::Flash && !ReadFlashByte(target.address, old, true)) return false;
    if ((target.value & old) != target.value) {
        m_host.ShowFailure(Cause::Policy, MsgKind::Warning, text::kCalibNotWritable);
        return false;
    }
    const bool r = target.memory == CalibMemory::Flash
                       ? WriteFlashByte(target.address, target.value, false)
                       : WriteEepromByte(target.address, target.value, options.timing);
    if (!r || !options.report) return r;
    if (!options.verify) {
        m_host.ShowMessage(MsgKind::Information, text::kCalibWriteDone);
        return r;
    }
    uint8_t back = 0;
    if (!ReadCalibrationBack(target, back)) return false;
    ShowCalibVerify(back == target.value, options.warnMismatch ? MsgKind::Warning : MsgKind::Information);
    return back == target.value;
}

bool COrioleCore::VerifyCalibration(const CalibTarget& target, const CalibOptions& options) {
    const NeedsScope needs(*this, Needs::Calibration);
    uint8_t back = 0;
    if (!ReadCalibrationBack(target, back)) return false;
    const bool equal = back == target.value;
    if (options.report)
        ShowCalibVerify(equal, options.warnMismatch ? MsgKind::Warning : MsgKind::Information);
    return equal;
}

}  // namespace oriole
