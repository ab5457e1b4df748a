#include "link/sim/SimFirmware.h"

#include <algorithm>

namespace oriole::sim {

namespace {

using std::chrono::microseconds;

// Programming times of the order the AVR data sheets give.
constexpr ClockTime kChipEraseTime = microseconds(9000);
constexpr ClockTime kFlashPageTime = microseconds(4500);
constexpr ClockTime kFlashWordTime = microseconds(4000);
constexpr ClockTime kEepromPageTime = microseconds(3600);
constexpr ClockTime kEepromByteTime = microseconds(4000);
constexpr ClockTime kFuseTime = microseconds(4500);

constexpr uint8_t kPieceBytes = 32;
constexpr uint8_t kProgrammingEcho = 0x53;  // the target's echo of a good enable
constexpr uint8_t kRefused = 0xFE;

enum class DataKind { None, Words, Bytes };

bool Contains(const std::vector<uint8_t>& list, uint8_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

struct CSimFirmware::Command {
    uint8_t byte;
    uint8_t argBytes;
    DataKind data;
    void (CSimFirmware::*run)(ClockTime);
};

const CSimFirmware::Command* CSimFirmware::Find(uint8_t byte) {
    static const Command kCommands[] = {
        {'A', 1, DataKind::None, &CSimFirmware::Enter},
        {'B', 0, DataKind::None, &CSimFirmware::Leave},
        {'C', 0, DataKind::None, &CSimFirmware::Signature},
        {'D', 0, DataKind::None, &CSimFirmware::Erase},
        {'E', 5, DataKind::None, &CSimFirmware::ReadFlash},
        {'F', 5, DataKind::Words, &CSimFirmware::ProgramFlashPage},
        {'G', 5, DataKind::Words, &CSimFirmware::ProgramFlashWords},
        {'H', 5, DataKind::None, &CSimFirmware::ReadEeprom},
        {'I', 5, DataKind::Bytes, &CSimFirmware::ProgramEepromPage},
        {'J', 5, DataKind::Bytes, &CSimFirmware::ProgramEepromBytes},
        {'K', 1, DataKind::None, &CSimFirmware::ReadFuse},
        {'L', 2, DataKind::None, &CSimFirmware::WriteFuse},
        {'M', 0, DataKind::None, &CSimFirmware::ReadLock},
        {'N', 2, DataKind::None, &CSimFirmware::WriteLock},
        {'O', 1, DataKind::None, &CSimFirmware::ReadCalibration},
        {'Q', 1, DataKind::None, &CSimFirmware::FollowUp},
        {'T', 8, DataKind::None, &CSimFirmware::Timing},
    };
    for (const Command& c : kCommands)
        if (c.byte == byte) return &c;
    return nullptr;
}

CSimFirmware::CSimFirmware(CSimTarget& target, const SimFaults& faults, bool timing, Sender send)
    : m_target(target), m_faults(faults), m_timing(timing), m_send(std::move(send)) {}

void CSimFirmware::Receive(uint8_t byte, ClockTime arrival) {
    if (!Receiving(arrival)) m_command = nullptr;
    m_lastArrival = arrival;
    const ClockTime t = std::max(arrival, m_busyUntil);
    if (m_command == nullptr) {
        const Command* command = Find(byte);
        if (command == nullptr) return;  // the firmware ignores unknown bytes
        Start(*command, t);
        return;
    }
    if (m_args.size() < m_command->argBytes) {
        m_args.push_back(byte);
        if (m_args.size() < m_command->argBytes) return;
        if (m_command->data == DataKind::None) return Run(t);
        m_dataLength = Count() * (m_command->data == DataKind::Words ? 2u : 1u);
        if (m_dataLength == 0) return Run(t);
        return;
    }
    m_data.push_back(byte);
    OnData(t);
}

void CSimFirmware::Start(const Command& command, ClockTime t) {
    m_command = &command;
    m_current = command.byte;
    m_args.clear();
    m_data.clear();
    m_dataLength = 0;
    m_muted = std::any_of(m_faults.mute.begin(), m_faults.mute.end(), [&](const auto& m) {
        return m.command == command.byte && m.piece == 0;
    });
    if (command.argBytes == 0) Run(t);
}

void CSimFirmware::OnData(ClockTime t) {
    const uint8_t byte = m_command->byte;
    if (byte == 'F' && m_data.size() % kPieceBytes == 0) {
        const int piece = ++m_pieces[byte];
        for (const auto& m : m_faults.mute)
            if (m.command == byte && m.piece == piece) m_muted = true;
        Acknowledge(0x01, t);
    }
    if (m_data.size() >= m_dataLength) Run(t);
}

void CSimFirmware::Run(ClockTime t) {
    const Command* command = m_command;
    m_command = nullptr;
    (this->*command->run)(t);
}

uint32_t CSimFirmware::Address() const {
    return (uint32_t{m_args[0]} << 16) | (uint32_t{m_args[1]} << 8) | m_args[2];
}

uint32_t CSimFirmware::Count() const {
    const uint32_t count = (uint32_t{m_args[3]} << 8) | m_args[4];
    return count == 0 ? 0x10000u : count;  // 0 stands for the full 65 536
}

ClockTime CSimFirmware::LateBy() const {
    if (Contains(m_faults.late, m_current)) return std::chrono::seconds(12);
    return std::chrono::milliseconds(m_faults.answerDelayMs);
}

void CSimFirmware::Reply(std::vector<uint8_t> bytes, ClockTime t) {
    if (m_muted) return;
    const int answer = ++m_answers[m_current];
    for (const auto& m : m_faults.misread)
        if (m.command == m_current && m.nth == answer)
            for (uint8_t& b : bytes) b = static_cast<uint8_t>(~b);
    if (Contains(m_faults.shortReply, m_current) && !bytes.empty()) bytes.pop_back();
    if (Contains(m_faults.duplicated, m_current) && !bytes.empty()) bytes.push_back(bytes.back());
    m_send(bytes, t + LateBy());
}

void CSimFirmware::Acknowledge(uint8_t ack, ClockTime t, ClockTime busyFor) {
    const ClockTime done = t + Busy(busyFor);
    m_busyUntil = std::max(m_busyUntil, done);
    if (m_muted) return;
    if (Contains(m_faults.wrongAck, m_current)) ack ^= 0x80;
    const uint8_t bytes[2] = {ack, ack};
    m_send(std::span(bytes, Contains(m_faults.duplicated, m_current) ? 2 : 1), done + LateBy());
}

// --- Commands ---

void CSimFirmware::Enter(ClockTime t) {
    // The target answers the enable only when it is there and willing.
    m_programming = m_target.IsPresent() && !m_faults.refuseProgramming;
    if (!m_target.IsPresent()) ++m_emptyLooks;
    Acknowledge(m_programming ? kProgrammingEcho : kRefused, t);
}

void CSimFirmware::Leave(ClockTime t) {
    m_programming = false;
    Acknowledge('B' + 0x40, t);
}

void CSimFirmware::Signature(ClockTime t) {
    std::array<uint8_t, 3> sig = m_target.Signature();
    if (m_faults.signature) sig = *m_faults.signature;
    if (!m_programming) sig = {0xFF, 0xFF, 0xFF};
    Reply({sig.begin(), sig.end()}, t);
}

void CSimFirmware::Erase(ClockTime t) {
    if (m_programming) m_target.ChipErase();
    Acknowledge('D' + 0x40, t, kChipEraseTime);
}

void CSimFirmware::ReadFlash(ClockTime t) {
    const uint32_t first = Address() * 2;
    std::vector<uint8_t> bytes(static_cast<size_t>(Count()) * 2, 0xFF);
    if (m_programming)
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = m_target.ReadFlash(first + static_cast<uint32_t>(i));
    Reply(std::move(bytes), t);
}

void CSimFirmware::ReadEeprom(ClockTime t) {
    const uint32_t first = Address();
    std::vector<uint8_t> bytes(Count(), 0xFF);
    if (m_programming)
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = m_target.ReadEeprom(first + static_cast<uint32_t>(i));
    Reply(std::move(bytes), t);
}

void CSimFirmware::ReadFuse(ClockTime t) {
    Reply({m_programming ? m_target.ReadFuse(m_args[0]) : uint8_t{0xFF}}, t);
}

void CSimFirmware::WriteFuse(ClockTime t) {
    if (m_programming) m_target.WriteFuse(m_args[0], m_args[1]);
    Acknowledge('L' + 0x40, t, kFuseTime);
}

void CSimFirmware::ReadLock(ClockTime t) {
    Reply({m_programming ? m_target.ReadLockCommand() : uint8_t{0xFF}}, t);
}

void CSimFirmware::WriteLock(ClockTime t) {
    if (m_programming) m_target.WriteLockCommand(m_args[0], m_args[1]);
    Acknowledge('N' + 0x40, t, kFuseTime);
}

void CSimFirmware::ReadCalibration(ClockTime t) {
    Reply({m_programming ? m_target.Calibration(m_args[0]) : uint8_t{0xFF}}, t);
}

void CSimFirmware::FollowUp(ClockTime t) {
    m_followUps.push_back(m_args[0]);
    Acknowledge('Q' + 0x40, t, kFuseTime);
}

void CSimFirmware::Timing(ClockTime t) {
    std::copy(m_args.begin(), m_args.end(), m_timingBytes.begin());
    Acknowledge('T' + 0x40, t);
}

void CSimFirmware::ProgramFlashPage(ClockTime t) {
    const uint32_t first = Address() * 2;
    if (m_programming)
        for (size_t i = 0; i < m_data.size(); ++i) m_target.ProgramFlash(first + static_cast<uint32_t>(i), m_data[i]);
    Acknowledge('F' + 0x40, t, kFlashPageTime);
}

void CSimFirmware::ProgramFlashWords(ClockTime t) {
    const uint32_t first = Address() * 2;
    if (m_programming)
        for (size_t i = 0; i < m_data.size(); ++i) m_target.ProgramFlash(first + static_cast<uint32_t>(i), m_data[i]);
    Acknowledge('G' + 0x40, t, kFlashWordTime * static_cast<int64_t>(m_data.size() / 2));
}

void CSimFirmware::ProgramEepromPage(ClockTime t) {
    const uint32_t first = Address();
    if (m_programming)
        for (size_t i = 0; i < m_data.size(); ++i) m_target.WriteEeprom(first + static_cast<uint32_t>(i), m_data[i]);
    Acknowledge('I' + 0x40, t, kEepromPageTime);
}

void CSimFirmware::ProgramEepromBytes(ClockTime t) {
    const uint32_t first = Address();
    if (m_programming)
        for (size_t i = 0; i < m_data.size(); ++i) m_target.WriteEeprom(first + static_cast<uint32_t>(i), m_data[i]);
    Acknowledge('J' + 0x40, t, kEepromByteTime * static_cast<int64_t>(m_data.size()));
}

}  // namespace oriole::sim
