#pragma once
// The emulated AVR on the simulated writer's socket: the memories, fuses,
// lock bits and calibration bytes of one catalogue device, behaving as the
// silicon does (FLASH programming only clears bits, chip erase honours
// EESAVE and resets the lock bits, the lock bits protect the memories).
//
// Lock protection, as the data sheets give it: mode 2 (LB1 programmed)
// ignores every further programming of FLASH and EEPROM, and of the fuses
// on the current devices; mode 3 (LB1 and LB2 programmed) also answers no
// FLASH or EEPROM read with the contents: every cell reads 0xFF. The data
// sheets only say that verification is disabled; 0xFF is this simulator's
// choice, so that a verify after the lock fails as it does on silicon.
// Only a chip erase opens the chip again. The fuse, lock, signature and
// calibration bytes can always be read.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "devices/Devices.h"
#include "link/sim/SimConfig.h"

namespace oriole::sim {

// Devices older than the current serial-programming instruction set: their
// lock bits, and the fuse bits where they can be written, travel in the
// arguments of N.
bool IsOldDevice(int32_t id);
// AT90S4434, AT90S8535: the one fuse bit is read with the lock bits (M).
bool FuseInLockByte(int32_t id);

// The fuse bytes a new chip of the device (catalogue name) leaves the
// factory with: low (or the single byte of the older devices), high,
// extended, 0xFF for a byte it lacks; nothing for a device without fuses.
std::optional<std::array<uint8_t, 3>> FactoryFuses(std::string_view device);

class CSimTarget {
public:
    // row: catalogue row of the device; 0 = no target on the socket.
    explicit CSimTarget(int row);

    bool IsPresent() const { return m_row != 0; }
    int Row() const { return m_row; }
    const AVR_DEVICE& Device() const { return DeviceAt(m_row); }

    std::array<uint8_t, 3> Signature() const;

    // Memories by byte address, as the programming instructions reach them:
    // reads beyond the end, and every read in lock mode 3, give 0xFF; writes
    // beyond the end, and every write in lock mode 2 or 3, are lost.
    uint8_t ReadFlash(uint32_t byteAddress) const;
    void ProgramFlash(uint32_t byteAddress, uint8_t value);  // ANDs into the cell
    uint8_t ReadEeprom(uint32_t byteAddress) const;
    void WriteEeprom(uint32_t byteAddress, uint8_t value);   // replaces the byte
    // 1 unprotected, 2 no further programming, 3 no verification either.
    int LockMode() const;
    void ChipErase();
    int Erasures() const { return m_erasures; }  // chip erases since it was put in
    // Erases and writes (memories, fuses, lock bits) since it was put in.
    int Changes() const { return m_changes; }
    bool EepromSaved() const;  // the EESAVE fuse bit is programmed

    // Fuses by selector (1 low, 2 high, 4 extended); a byte the device lacks
    // reads 0xFF and ignores writes. Bits without a function read 1.
    uint8_t ReadFuse(uint8_t selector) const;
    void WriteFuse(uint8_t selector, uint8_t value);
    uint8_t ReadLockCommand() const;              // what M answers
    void WriteLockCommand(uint8_t p, uint8_t q);  // what N does
    uint8_t Calibration(uint8_t index) const;     // what O answers
    uint8_t LockBits() const { return m_lock; }

    // Direct access for tests and for presetting a scenario.
    std::vector<uint8_t>& Flash() { return m_flash; }
    std::vector<uint8_t>& Eeprom() { return m_eeprom; }
    void SetFuse(uint8_t selector, uint8_t value);
    // Makes this chip a bad one: these cells read wrong from now on.
    void SetStuckCells(std::vector<StuckCell> cells) { m_stuck = std::move(cells); }

private:
    const uint8_t* FuseSlot(uint8_t selector) const;
    uint8_t* FuseSlot(uint8_t selector) {
        return const_cast<uint8_t*>(std::as_const(*this).FuseSlot(selector));
    }
    uint8_t UnusedFuseBits(uint8_t selector) const;
    uint8_t ReadCell(const std::vector<uint8_t>& memory, bool eeprom, uint32_t byteAddress) const;

    int m_row;
    std::vector<uint8_t> m_flash;
    std::vector<uint8_t> m_eeprom;
    uint8_t m_low = 0xFF;
    uint8_t m_high = 0xFF;
    uint8_t m_ext = 0xFF;
    uint8_t m_lock = 0xFF;  // in the layout of the device's M answer
    int m_erasures = 0;
    int m_changes = 0;
    std::vector<StuckCell> m_stuck;
};

}  // namespace oriole::sim
