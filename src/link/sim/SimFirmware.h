#pragma once
// The firmware of the simulated writer box: reads single-byte commands with
// their arguments and data, drives the emulated target, and answers with
// data or an acknowledge byte (the command byte plus 0x40; 0x01 after each
// 32-byte piece of a FLASH page; 0xFE when the target refuses programming).

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "host/Clock.h"
#include "link/sim/SimConfig.h"
#include "link/sim/SimTarget.h"

namespace oriole::sim {

class CSimFirmware {
public:
    // Sends bytes to the host, starting at the given time.
    using Sender = std::function<void(std::span<const uint8_t>, ClockTime)>;

    CSimFirmware(CSimTarget& target, const SimFaults& faults, bool timing, Sender send);

    // How long the firmware waits for the next byte of a command before it
    // drops the command and takes the next byte for the start of a new one,
    // as a box must: a host cancelled in the middle of a page never sends
    // its rest.
    static constexpr ClockTime kCommandGap = std::chrono::milliseconds(500);

    // One byte from the host has reached the box at `arrival`.
    void Receive(uint8_t byte, ClockTime arrival);

    // Whether a command is half received at `now` (and not yet given up).
    bool Receiving(ClockTime now) const {
        return m_command != nullptr && now - m_lastArrival <= kCommandGap;
    }

    bool InProgrammingMode() const { return m_programming; }
    // How many programming enables found no chip on the socket.
    int EmptyLooks() const { return m_emptyLooks; }
    const std::array<uint8_t, 8>& LastTiming() const { return m_timingBytes; }
    const std::vector<uint8_t>& EraseFollowUps() const { return m_followUps; }

private:
    struct Command;
    static const Command* Find(uint8_t byte);

    void Start(const Command& command, ClockTime t);
    void Run(ClockTime t);
    void OnData(ClockTime t);
    void Reply(std::vector<uint8_t> bytes, ClockTime t);
    void Acknowledge(uint8_t ack, ClockTime t, ClockTime busyFor = ClockTime{0});
    uint32_t Address() const;
    uint32_t Count() const;
    ClockTime Busy(ClockTime duration) const { return m_timing ? duration : ClockTime{0}; }
    // A late answer comes after the host's 11-tick wait has given up.
    ClockTime LateBy() const;

    // Handlers, one per command.
    void Enter(ClockTime t);
    void Leave(ClockTime t);
    void Signature(ClockTime t);
    void Erase(ClockTime t);
    void ReadFlash(ClockTime t);
    void ReadEeprom(ClockTime t);
    void ReadFuse(ClockTime t);
    void WriteFuse(ClockTime t);
    void ReadLock(ClockTime t);
    void WriteLock(ClockTime t);
    void ReadCalibration(ClockTime t);
    void FollowUp(ClockTime t);
    void Timing(ClockTime t);
    void ProgramFlashPage(ClockTime t);
    void ProgramFlashWords(ClockTime t);
    void ProgramEepromPage(ClockTime t);
    void ProgramEepromBytes(ClockTime t);

    CSimTarget& m_target;
    const SimFaults& m_faults;
    bool m_timing;
    Sender m_send;

    const Command* m_command = nullptr;  // the command being received
    ClockTime m_lastArrival{0};          // when its last byte came
    uint8_t m_current = 0;               // the command last started
    std::vector<uint8_t> m_args;
    std::vector<uint8_t> m_data;
    size_t m_dataLength = 0;
    bool m_muted = false;                // this command stays silent from now on
    ClockTime m_busyUntil{0};
    bool m_programming = false;
    int m_emptyLooks = 0;
    std::array<uint8_t, 8> m_timingBytes{};
    std::vector<uint8_t> m_followUps;
    std::map<uint8_t, int> m_pieces;     // data pieces received per command since power-up
    std::map<uint8_t, int> m_answers;    // data answers given per command since power-up
};

}  // namespace oriole::sim
