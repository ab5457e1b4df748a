#include "avrdude/ByteCache.h"

#include <algorithm>

namespace oriole::avrdude {

namespace {

// A given image of `size` bytes; nothing but `cells` holds data, up to `count`.
JobImage Given(const char* name, uint32_t size) {
    JobImage in;
    in.name = name;
    in.loaded = true;
    in.image.Allocate(size);
    return in;
}

JobStep WriteStep(StepKind kind, int image) {
    JobStep step;
    step.kind = kind;
    step.image = image;
    step.verify = true;
    step.quiet = true;
    return step;
}

}  // namespace

bool CByteCache::ReadPrefix(Memory mem, uint32_t end) {
    Held& held = Of(mem);
    if (held.read.size() >= end) return true;
    std::vector<uint8_t> bytes;
    if (!m_read(mem, end, bytes)) return false;
    held.read = std::move(bytes);
    return held.read.size() >= end;
}

bool CByteCache::Read(Memory mem, uint32_t addr, uint32_t len, uint32_t size, std::vector<uint8_t>& out) {
    out.assign(len, 0xFF);
    // A read that runs past the end goes on at address 0.
    const uint64_t end = uint64_t{addr} + len;
    if (!ReadPrefix(mem, static_cast<uint32_t>(std::min<uint64_t>(end, size)))) return false;
    const Held& held = Of(mem);
    for (uint32_t j = 0; j < len; ++j) {
        const uint32_t at = static_cast<uint32_t>((uint64_t{addr} + j) % size);
        const auto p = held.pending.find(at);
        out[j] = p != held.pending.end() ? p->second : held.read[at];
    }
    return true;
}

void CByteCache::Write(Memory mem, uint32_t addr, const std::vector<uint8_t>& bytes) {
    Held& held = Of(mem);
    for (size_t i = 0; i < bytes.size(); ++i) held.pending[addr + static_cast<uint32_t>(i)] = bytes[i];
}

bool CByteCache::PlanFlush(uint32_t flashSize, uint32_t eepromSize, Flush& plan) {
    plan = {};
    Job& job = plan.job;
    if (!m_flash.pending.empty()) {
        // Only as far as the writes reach is read to see whether they clear
        // bits only; an erase needs the whole FLASH to write it back.
        const uint32_t reach = m_flash.pending.rbegin()->first + 1;
        if (!ReadPrefix(Memory::Flash, reach)) return false;
        for (const auto& [a, v] : m_flash.pending) plan.erases = plan.erases || (v & ~m_flash.read[a]) != 0;
        if (plan.erases && !ReadPrefix(Memory::Flash, flashSize)) return false;
        JobImage flash = Given("FLASH", flashSize);
        if (!plan.erases) {
            for (const auto& [a, v] : m_flash.pending) flash.image.cells[a] = v;
            flash.image.count = reach;
            job.images.push_back(std::move(flash));
            job.steps.push_back(WriteStep(StepKind::WriteFlash, 0));
        } else {
            if (eepromSize > 0 && !ReadPrefix(Memory::Eeprom, eepromSize)) return false;
            m_wanted.assign(m_flash.read.begin(), m_flash.read.begin() + flashSize);
            for (const auto& [a, v] : m_flash.pending) m_wanted[a] = v;
            for (size_t a = 0; a < m_wanted.size(); ++a)
                if (m_wanted[a] != 0xFF) flash.image.cells[a] = m_wanted[a];
            flash.image.count = flashSize;
            JobStep erase;
            erase.kind = StepKind::Erase;
            erase.quiet = true;
            job.steps.push_back(erase);
            if (eepromSize > 0) {
                // The EEPROM as it is, with the bytes held for it.
                JobImage eeprom = Given("EEPROM", eepromSize);
                for (uint32_t a = 0; a < eepromSize; ++a) eeprom.image.cells[a] = m_eeprom.read[a];
                for (const auto& [a, v] : m_eeprom.pending) eeprom.image.cells[a] = v;
                eeprom.image.count = eepromSize;
                job.images.push_back(std::move(eeprom));
                job.steps.push_back(WriteStep(StepKind::WriteEeprom, static_cast<int>(job.images.size()) - 1));
            }
            // A FLASH left all 0xFF is what the erase leaves.
            if (flash.image.HasData()) {
                job.images.push_back(std::move(flash));
                job.steps.push_back(WriteStep(StepKind::WriteFlash, static_cast<int>(job.images.size()) - 1));
            }
        }
    }
    if (!plan.erases && !m_eeprom.pending.empty()) {
        JobImage eeprom = Given("EEPROM", eepromSize);
        for (const auto& [a, v] : m_eeprom.pending) eeprom.image.cells[a] = v;
        // Every block up to the image's length is written: end it after the last write.
        eeprom.image.count = m_eeprom.pending.rbegin()->first + 1;
        job.images.push_back(std::move(eeprom));
        job.steps.push_back(WriteStep(StepKind::WriteEeprom, static_cast<int>(job.images.size()) - 1));
    }
    return true;
}

void CByteCache::Flushed(const Flush& plan, const JobResult& result, const char*& failedMemory) {
    failedMemory = nullptr;
    const auto& steps = plan.job.steps;
    // The steps that ran through; a run refused before its first step reached none.
    const size_t passed = result.ok ? steps.size() : static_cast<size_t>(std::max(result.failedStep, 0));
    if (plan.erases) {
        m_eeprom.read.clear();
        for (size_t i = 0; i < passed; ++i)
            if (steps[i].kind == StepKind::WriteEeprom) m_eeprom.pending.clear();
        if (result.ok) {
            m_flash.read = std::move(m_wanted);
            m_flash.pending.clear();
        } else {
            m_flash.read.clear();
            failedMemory = "FLASH";
        }
        m_wanted.clear();
        return;
    }
    for (size_t i = 0; i < steps.size(); ++i) {
        Held& held = Of(steps[i].kind == StepKind::WriteFlash ? Memory::Flash : Memory::Eeprom);
        if (i < passed) {
            for (const auto& [a, v] : held.pending)
                if (a < held.read.size()) held.read[a] = v;
            held.pending.clear();
        } else if (i == passed) {
            held.read.clear();
            failedMemory = &held == &m_flash ? "FLASH" : "EEPROM";
        }
    }
}

void CByteCache::Reset() {
    m_flash = {};
    m_eeprom = {};
}

void CByteCache::Erased() {
    m_flash = {};
    m_eeprom.read.clear();
}

}  // namespace oriole::avrdude
