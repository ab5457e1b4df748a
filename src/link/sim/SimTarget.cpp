#include "link/sim/SimTarget.h"

#include <algorithm>
#include <string_view>

namespace oriole::sim {

namespace {

// The fuse bytes each device leaves the factory with, from its data sheet
// (the values avrdude's configuration lists as each part's initval agree):
// low (or the single byte of the older devices), high, extended; 0xFF for
// a byte the device lacks. Keyed by catalogue name, so that the catalogue
// test can hold the two lists against each other.
struct FactoryRow {
    std::string_view device;
    uint8_t low, high, ext;
};

// clang-format off
constexpr FactoryRow kFactoryFuses[] = {
    // The single byte as the catalogue lays it out: FSTRT alone (SPIEN,
    // always programmed, reads with it in M) or the bits of the AT90S4433.
    {"AT90S4434", 0xFF, 0xFF, 0xFF},
    {"AT90S4433", 0xDA, 0xFF, 0xFF},
    {"AT90S8535", 0xFF, 0xFF, 0xFF},
    {"AT90CAN32", 0x62, 0x99, 0xFF},
    {"AT90CAN64", 0x62, 0x99, 0xFF},
    {"AT90CAN128", 0x62, 0x99, 0xFF},
    {"AT90PWM2/3", 0x62, 0xDF, 0xF9},
    {"AT90PWM2B/3B", 0x62, 0xDF, 0xF9},
    {"AT90USB82", 0x5E, 0xD9, 0xF4},
    {"AT90USB162", 0x5E, 0xD9, 0xF4},
    {"AT90USB646/647", 0x5E, 0x9B, 0xF3},
    {"AT90USB1286/1287", 0x5E, 0x99, 0xF3},
    {"ATtiny12", 0x52, 0xFF, 0xFF},
    {"ATtiny13", 0x6A, 0xFF, 0xFF},
    {"ATtiny26", 0xE1, 0xF7, 0xFF},
    {"ATtiny2313", 0x64, 0xDF, 0xFF},
    {"ATtiny24", 0x62, 0xDF, 0xFF},
    {"ATtiny44", 0x62, 0xDF, 0xFF},
    {"ATtiny84", 0x62, 0xDF, 0xFF},
    {"ATtiny25", 0x62, 0xDF, 0xFF},
    {"ATtiny45", 0x62, 0xDF, 0xFF},
    {"ATtiny85", 0x62, 0xDF, 0xFF},
    {"ATtiny261", 0x62, 0xDF, 0xFF},
    {"ATtiny461", 0x62, 0xDF, 0xFF},
    {"ATtiny861", 0x62, 0xDF, 0xFF},
    {"ATmega48", 0x62, 0xDF, 0xFF},
    {"ATmega48P/PA", 0x62, 0xDF, 0xFF},
    {"ATmega8", 0xE1, 0xD9, 0xFF},
    {"ATmega8515", 0xE1, 0xD9, 0xFF},
    {"ATmega8535", 0xE1, 0xD9, 0xFF},
    {"ATmega88", 0x62, 0xDF, 0xF9},
    {"ATmega88P/PA", 0x62, 0xDF, 0xF9},
    {"ATmega16", 0xE1, 0x99, 0xFF},
    {"ATmega162", 0x62, 0x99, 0xFF},
    {"ATmega163", 0xDF, 0xFF, 0xFF},
    {"ATmega165/P", 0x62, 0x99, 0xFF},
    {"ATmega168", 0x62, 0xDF, 0xF9},
    {"ATmega168P/PA", 0x62, 0xDF, 0xF9},
    {"ATmega328P", 0x62, 0xD9, 0xFF},
    {"ATmega169/P", 0x62, 0x99, 0xFF},
    {"ATmega644", 0x62, 0x99, 0xFF},
    {"ATmega128", 0xE1, 0x99, 0xFD},
    {"ATmega164P", 0x62, 0x99, 0xFF},
    {"ATmega324P", 0x62, 0x99, 0xFF},
    {"ATmega644P", 0x62, 0x99, 0xFF},
    {"ATmega640", 0x62, 0x99, 0xFF},
    {"ATmega1280", 0x62, 0x99, 0xFF},
    {"ATmega1281", 0x62, 0x99, 0xFF},
    {"ATmega325", 0x62, 0x99, 0xFF},
    {"ATmega3250", 0x62, 0x99, 0xFF},
    {"ATmega645", 0x62, 0x99, 0xFF},
    {"ATmega6450", 0x62, 0x99, 0xFF},
    {"ATmega325P", 0x62, 0x99, 0xFF},
    {"ATmega3250P", 0x62, 0x99, 0xFF},
    {"ATmega329", 0x62, 0x99, 0xFF},
    {"ATmega329P", 0x62, 0x99, 0xFF},
    {"ATmega3290", 0x62, 0x99, 0xFF},
    {"ATmega3290P", 0x62, 0x99, 0xFF},
    {"ATmega64", 0xE1, 0x99, 0xFD},
    {"ATmega649", 0x62, 0x99, 0xFF},
    {"ATmega6490", 0x62, 0x99, 0xFF},
};
// clang-format on

const std::array<int32_t, 8>* Names(const AVR_DEVICE& d, uint8_t selector) {
    switch (selector) {
        case 1: return &d.lowFuseBits;
        case 2: return &d.highFuseBits;
        case 4: return &d.extFuseBits;
        default: return nullptr;
    }
}

}  // namespace

std::optional<std::array<uint8_t, 3>> FactoryFuses(std::string_view device) {
    for (const FactoryRow& f : kFactoryFuses)
        if (f.device == device) return std::array<uint8_t, 3>{f.low, f.high, f.ext};
    return std::nullopt;
}

// The emulated silicon keeps its own list of the older chips, written from
// their data sheets, instead of reading the catalogue's fuse and lock
// columns: the operations choose their commands from those columns, and a
// wrong column must not be able to make the operation and the chip agree.
// The catalogue test checks that both lists say the same.
bool IsOldDevice(int32_t id) {
    switch (id) {
        case 1: case 5: case 17: case 34: case 35: case 49: case 51: return true;
        default: return false;
    }
}

bool FuseInLockByte(int32_t id) { return id == 34 || id == 51; }

CSimTarget::CSimTarget(int row) : m_row(row) {
    const AVR_DEVICE& d = Device();
    m_flash.assign(static_cast<size_t>(std::max(0, d.FlashBytes())), 0xFF);
    m_eeprom.assign(static_cast<size_t>(std::max(0, d.eepromBytes)), 0xFF);
    const auto factory = FactoryFuses(d.name).value_or(std::array<uint8_t, 3>{0xFF, 0xFF, 0xFF});
    m_low = factory[0];
    m_high = factory[1];
    m_ext = factory[2];
}

std::array<uint8_t, 3> CSimTarget::Signature() const {
    if (!IsPresent()) return {0xFF, 0xFF, 0xFF};  // nothing drives the data line
    return Device().signature;
}

int CSimTarget::LockMode() const {
    // LB1 and LB2 are bits 0 and 1 of the current devices' lock byte, bits
    // 1 and 2 of the older ones' (as M answers them).
    const int shift = IsOldDevice(Device().id) ? 1 : 0;
    const bool lb1 = ((m_lock >> shift) & 1u) == 0;
    const bool lb2 = ((m_lock >> (shift + 1)) & 1u) == 0;
    return lb1 && lb2 ? 3 : lb1 || lb2 ? 2 : 1;
}

uint8_t CSimTarget::ReadCell(const std::vector<uint8_t>& memory, bool eeprom, uint32_t byteAddress) const {
    if (byteAddress >= memory.size() || LockMode() >= 3) return 0xFF;
    const uint8_t held = memory[byteAddress];
    for (const StuckCell& cell : m_stuck)
        if (cell.eeprom == eeprom && cell.address == byteAddress)
            return cell.value ? *cell.value : static_cast<uint8_t>(~held);
    return held;
}

uint8_t CSimTarget::ReadFlash(uint32_t byteAddress) const { return ReadCell(m_flash, false, byteAddress); }

void CSimTarget::ProgramFlash(uint32_t byteAddress, uint8_t value) {
    ++m_changes;
    if (byteAddress < m_flash.size() && LockMode() < 2) m_flash[byteAddress] &= value;
}

uint8_t CSimTarget::ReadEeprom(uint32_t byteAddress) const { return ReadCell(m_eeprom, true, byteAddress); }

void CSimTarget::WriteEeprom(uint32_t byteAddress, uint8_t value) {
    ++m_changes;
    if (byteAddress < m_eeprom.size() && LockMode() < 2) m_eeprom[byteAddress] = value;
}

bool CSimTarget::EepromSaved() const {
    const AVR_DEVICE& d = Device();
    for (uint8_t selector : {uint8_t{1}, uint8_t{2}, uint8_t{4}}) {
        const auto* names = Names(d, selector);
        for (int bit = 0; bit < 8; ++bit) {
            if (std::string_view(FuseBitName((*names)[static_cast<size_t>(bit)])) == "EESAVE")
                return (ReadFuse(selector) & (1u << bit)) == 0;
        }
    }
    return false;
}

void CSimTarget::ChipErase() {
    std::fill(m_flash.begin(), m_flash.end(), 0xFF);
    if (!EepromSaved()) std::fill(m_eeprom.begin(), m_eeprom.end(), 0xFF);
    m_lock = 0xFF;
    ++m_erasures;
    ++m_changes;
}

const uint8_t* CSimTarget::FuseSlot(uint8_t selector) const {
    const int32_t mask = Device().fuseMask;
    if (selector == 1 && (mask & (kFuseLow | kFuseSingle))) return &m_low;
    if (selector == 2 && (mask & kFuseHigh)) return &m_high;
    if (selector == 4 && (mask & kFuseExt)) return &m_ext;
    return nullptr;
}

uint8_t CSimTarget::UnusedFuseBits(uint8_t selector) const {
    const auto* names = Names(Device(), selector);
    uint8_t unused = 0;
    for (int bit = 0; names && bit < 8; ++bit)
        if ((*names)[static_cast<size_t>(bit)] == 0) unused = static_cast<uint8_t>(unused | (1u << bit));
    return unused;
}

uint8_t CSimTarget::ReadFuse(uint8_t selector) const {
    const uint8_t* slot = FuseSlot(selector);
    return slot ? static_cast<uint8_t>(*slot | UnusedFuseBits(selector)) : 0xFF;
}

void CSimTarget::WriteFuse(uint8_t selector, uint8_t value) {
    ++m_changes;
    // The lock bits lock the fuses of the current devices too.
    if (LockMode() >= 2 && !IsOldDevice(Device().id)) return;
    SetFuse(selector, value);
}

void CSimTarget::SetFuse(uint8_t selector, uint8_t value) {
    if (uint8_t* slot = FuseSlot(selector)) *slot = static_cast<uint8_t>(value | UnusedFuseBits(selector));
}

uint8_t CSimTarget::ReadLockCommand() const {
    const int32_t id = Device().id;
    if (!FuseInLockByte(id)) return m_lock;
    // LB1 LB2 SPIEN x x x x FSTRT, SPIEN always programmed.
    const uint8_t lb1 = (m_lock >> 1) & 1u;
    const uint8_t lb2 = (m_lock >> 2) & 1u;
    return static_cast<uint8_t>((lb1 << 7) | (lb2 << 6) | 0x1E | (m_low & 0x01));
}

void CSimTarget::WriteLockCommand(uint8_t p, uint8_t q) {
    ++m_changes;
    const int32_t id = Device().id;
    if (!IsOldDevice(id)) {
        if (p == 0xE0) m_lock &= q;  // lock bits can only be programmed until an erase
        return;
    }
    if (id == 5 && p == 0xA0) {
        WriteFuse(1, q);
    } else if (id == 35 && (p & 0xE0) == 0xA0) {
        WriteFuse(1, static_cast<uint8_t>((m_low & 0xE0) | (p & 0x1F)));
    } else if (FuseInLockByte(id) && (p & 0xFE) == 0xBE) {
        m_low = static_cast<uint8_t>((m_low & 0xFE) | (p & 0x01));
    } else if ((p & 0xF9) == 0xF9) {
        m_lock &= static_cast<uint8_t>(p | 0xF9);
    }
}

uint8_t CSimTarget::Calibration(uint8_t index) const {
    if (!IsPresent() || index >= CalibrationFrequencies(Device().id).size()) return 0xFF;
    return static_cast<uint8_t>(0x98 + index * 0x0B + m_row % 7);
}

}  // namespace oriole::sim
