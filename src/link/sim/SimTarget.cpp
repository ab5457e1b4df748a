#include "link/sim/SimTarget.h"

#include <algorithm>
#include <string_view>

namespace oriole::sim {

namespace {

// Fuse functions a new chip leaves the factory with programmed (0): serial
// programming on, JTAG on, the largest boot section, and the internal RC
// oscillator with slow start-up, divided by eight where it can be.
constexpr std::string_view kFactoryProgrammed[] = {
    "SPIEN", "JTAGEN", "BOOTSZ0", "BOOTSZ1", "CKDIV8", "SUT0", "CKSEL0", "CKSEL2", "CKSEL3",
};

const std::array<int32_t, 8>* Names(const AVR_DEVICE& d, uint8_t selector) {
    switch (selector) {
        case 1: return &d.lowFuseBits;
        case 2: return &d.highFuseBits;
        case 4: return &d.extFuseBits;
        default: return nullptr;
    }
}

uint8_t FactoryValue(const std::array<int32_t, 8>& names) {
    uint8_t value = 0xFF;
    for (int bit = 0; bit < 8; ++bit) {
        const std::string_view name = FuseBitName(names[static_cast<size_t>(bit)]);
        if (std::find(std::begin(kFactoryProgrammed), std::end(kFactoryProgrammed), name) !=
            std::end(kFactoryProgrammed))
            value = static_cast<uint8_t>(value & ~(1u << bit));
    }
    return value;
}

}  // namespace

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
    if (d.fuseMask & (kFuseLow | kFuseSingle)) m_low = FactoryValue(d.lowFuseBits);
    if (d.fuseMask & kFuseHigh) m_high = FactoryValue(d.highFuseBits);
    if (d.fuseMask & kFuseExt) m_ext = FactoryValue(d.extFuseBits);
}

std::array<uint8_t, 3> CSimTarget::Signature() const {
    if (!IsPresent()) return {0xFF, 0xFF, 0xFF};  // nothing drives the data line
    return Device().signature;
}

uint8_t CSimTarget::ReadFlash(uint32_t byteAddress) const {
    return byteAddress < m_flash.size() ? m_flash[byteAddress] : 0xFF;
}

void CSimTarget::ProgramFlash(uint32_t byteAddress, uint8_t value) {
    if (byteAddress < m_flash.size()) m_flash[byteAddress] &= value;
}

uint8_t CSimTarget::ReadEeprom(uint32_t byteAddress) const {
    return byteAddress < m_eeprom.size() ? m_eeprom[byteAddress] : 0xFF;
}

void CSimTarget::WriteEeprom(uint32_t byteAddress, uint8_t value) {
    if (byteAddress < m_eeprom.size()) m_eeprom[byteAddress] = value;
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
    if (uint8_t* slot = FuseSlot(selector)) *slot = static_cast<uint8_t>(value | UnusedFuseBits(selector));
}

void CSimTarget::SetFuse(uint8_t selector, uint8_t value) { WriteFuse(selector, value); }

uint8_t CSimTarget::ReadLockCommand() const {
    const int32_t id = Device().id;
    if (!FuseInLockByte(id)) return m_lock;
    // LB1 LB2 SPIEN x x x x FSTRT, SPIEN always programmed.
    const uint8_t lb1 = (m_lock >> 1) & 1u;
    const uint8_t lb2 = (m_lock >> 2) & 1u;
    return static_cast<uint8_t>((lb1 << 7) | (lb2 << 6) | 0x1E | (m_low & 0x01));
}

void CSimTarget::WriteLockCommand(uint8_t p, uint8_t q) {
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
