#pragma once
// The terminal's FLASH and EEPROM bytes between the device and its commands,
// as avrdude keeps them below its terminal: what was read is kept from
// address 0, what was written is held until a flush turns it into one Job.
// The cache reads through the reader it is given and writes nothing itself.
//
// A flush writes the held FLASH bytes over the pages they fall in when they
// only clear bits (programming only clears bits); where one needs a bit back
// at 1, the job erases the chip and writes the whole FLASH again, and the
// EEPROM the erase may have cleared with it. The held EEPROM bytes follow.

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "devices/Memories.h"
#include "ops/Job.h"

namespace oriole::avrdude {

class CByteCache {
public:
    // Reads the first `end` bytes of FLASH or EEPROM into `out`; false after
    // the message.
    using Reader = std::function<bool(Memory mem, uint32_t end, std::vector<uint8_t>& out)>;

    explicit CByteCache(Reader reader) : m_read(std::move(reader)) {}

    // `out` gets `len` bytes from `addr` as the device will hold them after
    // a flush, running on at address 0 past the end of the memory of `size`
    // bytes. False when the read failed.
    [[nodiscard]] bool Read(Memory mem, uint32_t addr, uint32_t len, uint32_t size, std::vector<uint8_t>& out);
    // Holds `bytes` from `addr` until the next flush.
    void Write(Memory mem, uint32_t addr, const std::vector<uint8_t>& bytes);
    bool HasPendingWrites() const { return !m_flash.pending.empty() || !m_eeprom.pending.empty(); }

    // What a flush does: the job (no steps when nothing is held), whether it
    // erases the chip. The FLASH it needs to decide is read first; false
    // when that read failed.
    struct Flush {
        Job job;
        bool erases = false;
    };
    [[nodiscard]] bool PlanFlush(uint32_t flashSize, uint32_t eepromSize, Flush& plan);
    // After `plan` ran: what it wrote becomes what the device holds. On a
    // failure, what it may have half written is forgotten and what it did
    // not reach stays held; `failedMemory` names the memory that failed.
    void Flushed(const Flush& plan, const JobResult& result, const char*& failedMemory);

    // Drops every held write and every byte read (the device changed under it).
    void Reset();
    // The chip was erased: the FLASH held and read, the EEPROM read, go.
    void Erased();

private:
    struct Held {
        std::vector<uint8_t> read;            // the bytes from address 0 read so far
        std::map<uint32_t, uint8_t> pending;  // written, not yet on the device
    };
    Held& Of(Memory mem) { return mem == Memory::Flash ? m_flash : m_eeprom; }
    bool ReadPrefix(Memory mem, uint32_t end);

    Reader m_read;
    Held m_flash;
    Held m_eeprom;
    // The FLASH as the erase path of the last plan leaves it.
    std::vector<uint8_t> m_wanted;
};

}  // namespace oriole::avrdude
