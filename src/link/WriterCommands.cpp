// The command sequences of the writer box: the begin and end of programming
// mode, the signature lookup, and one function per command form that the
// device operations send.
#include "link/WriterLink.h"

#include <array>
#include <vector>

#include "res/Texts.h"

namespace oriole {

namespace {

// The box needs the request to settle before a single-byte read answers.
constexpr std::chrono::milliseconds kSingleReadPause{100};
constexpr std::chrono::milliseconds kEepromDataPause{1};
constexpr std::chrono::milliseconds kEepromAckPause{10};

}  // namespace

bool CWriterLink::SendCommand(std::initializer_list<uint8_t> bytes) {
    return WriteBytes(std::span<const uint8_t>(bytes.begin(), bytes.size()));
}

bool CWriterLink::SendMemoryRequest(uint8_t command, uint32_t address, uint32_t count) {
    const MemoryRequest request = BuildMemoryRequest(command, address, count);
    return WriteBytes(request);
}

bool CWriterLink::BeginProgramming(IDeviceSelector& selector, bool timing) {
    if (m_state.m_nAbort != kAbortNone) {
        m_host.ShowFailure(Cause::Cancelled, MsgKind::Error, text::kAbortedEarlier);
        return false;
    }
    DiscardStaleBytes();
    if (timing) {
        // A clock of 0 Hz has no delay to compute; refuse before anything is sent.
        const auto generic = BuildGenericTimingRequest(m_state.m_nSysFreq);
        if (!generic) {
            m_host.ShowMessage(MsgKind::Error, text::kDeviceClockZero);
            return false;
        }
        if (!WriteBytes(*generic) || !WaitAck(Ack(kCmdTiming))) return false;
    }
    if (!SendCommand({kCmdEnterProgramming, 0x00})) return false;
    // Only the refusal byte has a meaning here, and not for a device that
    // never echoes the enable; any other outcome goes on.
    if (WaitAck(kRefusedAck, true) && !selector.SelectedDevice().enableNotEchoed) {
        m_host.ShowFailure(Cause::Refused, MsgKind::Warning, text::kProgrammingRefused);
        return false;
    }
    if (selector.IsAutoDetect() && !ReadSignature(selector)) return false;
    if (timing) {
        const auto own = BuildDeviceTimingRequest(selector.SelectedDevice(), m_state.m_nSysFreq);
        if (!own || !WriteBytes(*own) || !WaitAck(Ack(kCmdTiming))) return false;
    }
    return true;
}

bool CWriterLink::EndProgramming() {
    return SendCommand({kCmdLeaveProgramming}) && WaitAck(Ack(kCmdLeaveProgramming));
}

bool CWriterLink::ReadSignature(IDeviceSelector& selector) {
    std::array<uint8_t, 3> signature{};
    // A request or reply that failed has shown its message (a cancel shows
    // none); only a signature that came and matched nothing is ours to report.
    if (!SendCommand({kCmdReadSignature}) || !ReadReply(signature)) return false;
    const int row = FindDeviceBySignature(signature[0], signature[1], signature[2]);
    bool found = false;
    if (row == 0) {
        selector.ForgetDetectedDevice();
    } else {
        found = selector.SelectDetectedDevice(row);
    }
    if (!found) m_host.ShowFailure(Cause::NotDetected, MsgKind::Warning, text::kDeviceNotDetected);
    return found;
}

bool CWriterLink::ChipErase() {
    return SendCommand({kCmdChipErase}) && WaitAck(Ack(kCmdChipErase));
}

bool CWriterLink::EraseFollowUp(uint8_t value) {
    return SendCommand({kCmdEraseFollowUp, value}) && WaitAck(Ack(kCmdEraseFollowUp));
}

bool CWriterLink::ReadFlashByte(uint32_t byteAddress, uint8_t& value) {
    std::array<uint8_t, 2> word{};
    if (!SendMemoryRequest(kCmdReadFlash, byteAddress / 2, 1)) return false;
    m_host.Sleep(kSingleReadPause);
    if (!ReadReply(word)) return false;
    value = word[byteAddress & 1u];
    return true;
}

bool CWriterLink::ReadEepromByte(uint32_t byteAddress, uint8_t& value) {
    std::array<uint8_t, 1> byte{};
    if (!SendMemoryRequest(kCmdReadEeprom, byteAddress, 1)) return false;
    m_host.Sleep(kSingleReadPause);
    if (!ReadReply(byte)) return false;
    value = byte[0];
    return true;
}

bool CWriterLink::ReadFlashBlock(uint32_t wordAddress, std::span<uint8_t> bytes,
                                 const ReceiveProgress& onReceived) {
    // A count of 65 536 words goes out as 0x0000.
    return SendMemoryRequest(kCmdReadFlash, wordAddress, static_cast<uint32_t>(bytes.size() / 2)) &&
           Receive(bytes, ReadTimeOut::SinceLastByte, onReceived);
}

bool CWriterLink::ReadEepromBlock(uint32_t byteAddress, std::span<uint8_t> bytes,
                                  const ReceiveProgress& onReceived) {
    return SendMemoryRequest(kCmdReadEeprom, byteAddress, static_cast<uint32_t>(bytes.size())) &&
           Receive(bytes, ReadTimeOut::SinceLastByte, onReceived);
}

bool CWriterLink::WriteFlashPage(uint32_t wordAddress, std::span<const uint8_t> bytes,
                                 PieceFailure onPieceFailure) {
    if (!SendMemoryRequest(kCmdWriteFlashPage, wordAddress, static_cast<uint32_t>(bytes.size() / 2)))
        return false;
    for (size_t offset = 0; offset < bytes.size(); offset += kFlashPieceBytes) {
        const auto piece = bytes.subspan(offset, std::min<size_t>(kFlashPieceBytes, bytes.size() - offset));
        const bool ok = WriteBytes(piece) && WaitAck(kPieceAck) && m_state.m_nAbort == kAbortNone;
        if (ok) continue;
        if (onPieceFailure == PieceFailure::EndPage) return false;
        break;
    }
    return WaitAck(Ack(kCmdWriteFlashPage));
}

bool CWriterLink::WriteFlashWords(uint32_t wordAddress, std::span<const uint8_t> bytes) {
    return SendMemoryRequest(kCmdWriteFlashWords, wordAddress, static_cast<uint32_t>(bytes.size() / 2)) &&
           WriteBytes(bytes) && WaitAck(Ack(kCmdWriteFlashWords));
}

bool CWriterLink::WriteEepromPage(uint32_t byteAddress, std::span<const uint8_t> bytes) {
    if (!SendMemoryRequest(kCmdWriteEepromPage, byteAddress, static_cast<uint32_t>(bytes.size())))
        return false;
    for (size_t offset = 0; offset < bytes.size(); offset += kEepromPageSendBytes) {
        const auto pair = bytes.subspan(offset, std::min<size_t>(kEepromPageSendBytes, bytes.size() - offset));
        if (!WriteBytes(pair) || m_state.m_nAbort != kAbortNone) return false;
    }
    return WaitAck(Ack(kCmdWriteEepromPage));
}

bool CWriterLink::WriteEepromBytes(uint32_t byteAddress, std::span<const uint8_t> bytes, bool paced) {
    if (!SendMemoryRequest(kCmdWriteEepromBytes, byteAddress, static_cast<uint32_t>(bytes.size())))
        return false;
    if (paced) m_host.Sleep(kEepromDataPause);
    if (!WriteBytes(bytes)) return false;
    if (paced) m_host.Sleep(kEepromAckPause);
    return WaitAck(Ack(kCmdWriteEepromBytes));
}

bool CWriterLink::ReadFuseByte(uint8_t selector, uint8_t& value) {
    std::array<uint8_t, 1> byte{};
    if (!SendCommand({kCmdReadFuse, selector}) || !ReadReply(byte)) return false;
    value = byte[0];
    return true;
}

bool CWriterLink::WriteFuseByte(uint8_t selector, uint8_t value) {
    return SendCommand({kCmdWriteFuse, selector, value}) && WaitAck(Ack(kCmdWriteFuse));
}

bool CWriterLink::ReadLockByte(uint8_t& value) {
    std::array<uint8_t, 1> byte{};
    if (!SendCommand({kCmdReadLock}) || !ReadReply(byte)) return false;
    value = byte[0];
    return true;
}

bool CWriterLink::WriteLockBytes(uint8_t p, uint8_t q) {
    return SendCommand({kCmdWriteLock, p, q}) && WaitAck(Ack(kCmdWriteLock));
}

bool CWriterLink::ReadCalibrationByte(uint8_t index, uint8_t& value) {
    std::array<uint8_t, 1> byte{};
    if (!SendCommand({kCmdReadCalibration, index}) || !ReadReply(byte)) return false;
    value = byte[0];
    return true;
}

}  // namespace oriole
