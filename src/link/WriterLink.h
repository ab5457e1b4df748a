#pragma once
// The byte link to the writer box and the command sequences that frame every
// device operation. One CWriterLink serves one operation: OpenLink at its
// start, CloseLink at its end. Every failing call has shown its own message
// box by the time it returns false; callers only stop.

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>

#include "host/OperationHost.h"
#include "link/DeviceSelector.h"
#include "link/LinkState.h"
#include "link/Requests.h"
#include "link/WriterDriver.h"

namespace oriole {

inline constexpr char kLinkDescription[] = "ORIOLE Ver.1.00";

// Ticks a wait for the box may last, and how long one tick is. The link
// counts them itself on its host's clock (IOperationHost::Clock).
inline constexpr int32_t kWaitTicks = 11;
inline constexpr std::chrono::milliseconds kWaitTick{1000};

// How long one pass of a wait loop lets the driver wait for data.
inline constexpr std::chrono::milliseconds kWaitSlice{2};

// The box's firmware drops a command whose next byte does not come within
// kBoxCommandGap and waits for a new one. After a cancel or a time-out,
// CloseLink lets kBoxSettleWait pass, which outlasts it, so that the next
// opening does not find its first command taken for the rest of the last.
inline constexpr std::chrono::milliseconds kBoxCommandGap{500};
inline constexpr std::chrono::milliseconds kBoxSettleWait{600};

// What a failed 32-byte piece of an F page does.
enum class PieceFailure {
    EndPage,      // the page write fails at once (FLASH write page loop)
    FinishPage,   // the piece loop ends, the page's own acknowledge still counts
};

// Called during a block read with the number of bytes received so far, after
// every pass that brought some.
using ReceiveProgress = std::function<void(size_t received)>;

class CWriterLink {
public:
    CWriterLink(IWriterDriver& driver, CLinkState& state, IOperationHost& host)
        : m_driver(driver), m_state(state), m_host(host), m_clock(host.Clock()) {}
    ~CWriterLink();
    CWriterLink(const CWriterLink&) = delete;
    CWriterLink& operator=(const CWriterLink&) = delete;

    // --- The byte link ---
    [[nodiscard]] bool OpenLink();
    bool CloseLink();  // result only informative
    bool IsOpen() const { return m_open; }
    // A shorter tick makes every wait give up sooner (the doctor's checks).
    void SetWaitTick(std::chrono::milliseconds tick) { m_waitTick = tick; }

    [[nodiscard]] bool WriteBytes(std::span<const uint8_t> bytes);
    [[nodiscard]] bool QueuedBytes(uint32_t& queued);
    // Reads what is queued, at most buffer.size() bytes; never blocks.
    [[nodiscard]] bool ReadBytes(std::span<uint8_t> buffer, uint32_t& read);
    // Collects exactly the buffer.size() bytes of a short reply; gives up
    // like WaitAck 11 ticks after it started, and when m_nAbort is set.
    [[nodiscard]] bool ReadReply(std::span<uint8_t> buffer);
    // Waits up to 11 ticks for one byte; true only when it equals `expected`.
    // Another byte is reported, unless it is an answer of its own
    // (`otherIsAnswer`: A's refusal byte, where any other byte means go on).
    [[nodiscard]] bool WaitAck(uint8_t expected, bool otherIsAnswer = false);

    // --- Sequences framing every operation ---
    [[nodiscard]] bool BeginProgramming(IDeviceSelector& selector, bool timing);
    bool EndProgramming();  // result only informative
    [[nodiscard]] bool ReadSignature(IDeviceSelector& selector);

    // --- Commands ---
    [[nodiscard]] bool SendMemoryRequest(uint8_t command, uint32_t address, uint32_t count);
    [[nodiscard]] bool ChipErase();                          // D
    [[nodiscard]] bool EraseFollowUp(uint8_t value);         // Q
    // E one word: the byte at a FLASH byte address (100 ms after the request).
    [[nodiscard]] bool ReadFlashByte(uint32_t byteAddress, uint8_t& value);
    // H one byte (100 ms after the request).
    [[nodiscard]] bool ReadEepromByte(uint32_t byteAddress, uint8_t& value);
    // E or H block: the request, then every byte of the block. The box
    // streams it without pause, so the read gives up only after 11 ticks
    // without a single byte (or when m_nAbort is set), however long the
    // block. Every read of FLASH or EEPROM contents goes this way.
    [[nodiscard]] bool ReadFlashBlock(uint32_t wordAddress, std::span<uint8_t> bytes,
                                      const ReceiveProgress& onReceived = {});
    [[nodiscard]] bool ReadEepromBlock(uint32_t byteAddress, std::span<uint8_t> bytes,
                                       const ReceiveProgress& onReceived = {});
    // F: one page in acknowledged 32-byte pieces (bytes.size() = 2 x words).
    [[nodiscard]] bool WriteFlashPage(uint32_t wordAddress, std::span<const uint8_t> bytes,
                                      PieceFailure onPieceFailure);
    // G: FLASH words in one send.
    [[nodiscard]] bool WriteFlashWords(uint32_t wordAddress, std::span<const uint8_t> bytes);
    // I: one EEPROM page, two bytes per send; stops when m_nAbort is set.
    [[nodiscard]] bool WriteEepromPage(uint32_t byteAddress, std::span<const uint8_t> bytes);
    // J: EEPROM bytes in one send, with the box's pauses when `paced`.
    [[nodiscard]] bool WriteEepromBytes(uint32_t byteAddress, std::span<const uint8_t> bytes,
                                        bool paced);
    [[nodiscard]] bool ReadFuseByte(uint8_t selector, uint8_t& value);            // K
    [[nodiscard]] bool WriteFuseByte(uint8_t selector, uint8_t value);            // L
    [[nodiscard]] bool ReadLockByte(uint8_t& value);                              // M
    [[nodiscard]] bool WriteLockBytes(uint8_t p, uint8_t q);                      // N
    [[nodiscard]] bool ReadCalibrationByte(uint8_t index, uint8_t& value);        // O

private:
    // When a read gives up: 11 ticks after it started, or 11 ticks after the
    // last byte that came.
    enum class ReadTimeOut { FromStart, SinceLastByte };

    // The time-out clock of the running wait: StartWaitTicks sets
    // m_nTimeoutTicks to 11 from now, CountWaitTicks to the ticks left.
    void StartWaitTicks();
    void CountWaitTicks();
    // One pass of every wait loop: let one event through, count the ticks,
    // give the driver a couple of milliseconds to produce data, then read
    // what is there.
    [[nodiscard]] bool PollOnce(std::span<uint8_t> buffer, uint32_t& read);
    // The one loop behind every reply and block read: collects exactly
    // buffer.size() bytes, one PollOnce per pass; fails on a driver error,
    // on m_nAbort, or on the time-out, which shows the no-answer message.
    [[nodiscard]] bool Receive(std::span<uint8_t> buffer, ReadTimeOut timeOut,
                               const ReceiveProgress& onReceived);
    [[nodiscard]] bool SendCommand(std::initializer_list<uint8_t> bytes);
    void ShowDriverError(int line, DriverStatus status);
    void ShowNoAnswer();
    void SettleInterruptedBox();
    void DiscardStaleBytes();

    IWriterDriver& m_driver;
    CLinkState& m_state;
    IOperationHost& m_host;
    IClock& m_clock;
    std::chrono::milliseconds m_waitTick = kWaitTick;
    ClockTime m_waitStart{0};  // when the running wait's ticks started
    bool m_open = false;
};

}  // namespace oriole
