// Reading, writing and verifying the fuse bytes and the lock byte, by device
// group.
#include <string>

#include "base/FormatText.h"
#include "devices/FuseGuard.h"
#include "link/WriterLink.h"
#include "ops/FusePolicy.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"

namespace oriole {

namespace {

// The fuse bytes of the current devices in the order they are written and
// named: selector of K and L, fuse-mask bit, name in the verify message.
struct FuseByte {
    uint8_t selector;
    int32_t maskBit;
    const char* name;
};
constexpr FuseByte kFuseBytes[] = {{4, kFuseExt, "Ext"}, {2, kFuseHigh, "High"}, {1, kFuseLow, "Low"}};

// Lock-and-fuse byte of the AT90S4434 / AT90S8535: its bit 6 is the fuse bit
// only where bit 5 is also programmed.
uint8_t FuseFromLockByte(uint8_t m) {
    return static_cast<uint8_t>(m & ((m << 1) | 0xBF));
}

// Their lock bits: bit 2 of the result is bit 6 of M, bit 1 is bit 7.
uint8_t LockFromLockByte(uint8_t m) {
    return static_cast<uint8_t>(((m >> 4) | 0xFB) & ((m >> 6) | 0xFD));
}

struct LockCommand {
    uint8_t p;
    uint8_t q;
};

LockCommand LockCommandFor(LockGroup group, uint8_t lock) {
    switch (group) {
        case LockGroup::L1: return {static_cast<uint8_t>(lock | 0xF9), 0x00};
        case LockGroup::L2: return {0xE0, static_cast<uint8_t>(lock | 0xFC)};
        case LockGroup::L3: return {0xE0, static_cast<uint8_t>(lock | 0xC0)};
        case LockGroup::None: break;
    }
    return {0, 0};
}

}  // namespace

bool COrioleCore::ReadFuses(FuseBytes& fuses, bool timing) {
    const NeedsScope needs(*this, Needs::Fuses);
    return RunFrame(timing, [&](CWriterLink& link) { return ReadFuseBytes(link, fuses); });
}

bool COrioleCore::ReadFuseBytes(CWriterLink& link, FuseBytes& fuses) {
    uint8_t& ext = fuses.ext;
    uint8_t& high = fuses.high;
    uint8_t& low = fuses.low;
    ext = high = low = 0xFF;
    const AVR_DEVICE& d = *m_pDevice;
    switch (d.fuseGroup) {
        case FuseGroup::Current: {
            uint8_t* const outs[] = {&ext, &high, &low};
            for (size_t i = 0; i < std::size(kFuseBytes); ++i) {
                if ((d.fuseMask & kFuseBytes[i].maskBit) == 0) continue;
                // A reply that never came has been reported; the value is
                // not the device's, so the read fails.
                if (!link.ReadFuseByte(kFuseBytes[i].selector, *outs[i])) return false;
            }
            return true;
        }
        case FuseGroup::SingleLow: return link.ReadFuseByte(1, low);
        case FuseGroup::InLockByte: {
            uint8_t m = 0xFF;
            if (!link.ReadLockByte(m)) return false;
            low = FuseFromLockByte(m);
            return true;
        }
        case FuseGroup::None: break;
    }
    if (d.fuseGroup == FuseGroup::None) {
        Failure(Cause::NoSuchMemory, MsgKind::Warning, FormatText(text::kMemoryMissing, d.name, text::kMemoryFuses));
        return false;
    }
    return true;
}

bool COrioleCore::WriteFuses(FuseBytes fuses, const OpOptions& options, const FusePolicy& policy) {
    const NeedsScope needs(*this, Needs::Fuses);
    const int shownBefore = FailuresShown();
    const bool r = RunFrame(options.timing, [&](CWriterLink& link) {
        const AVR_DEVICE& d = *m_pDevice;
        // The rules look at what the chip holds now, read in this frame, so
        // no other write can come between the check and the write.
        FuseBytes current;
        if (!ReadFuseBytes(link, current)) return false;
        if (policy.onCurrent) policy.onCurrent(current);
        if (policy.onlyBytes != 0) {
            if ((policy.onlyBytes & kFuseExt) == 0) fuses.ext = current.ext;
            if ((policy.onlyBytes & kFuseHigh) == 0) fuses.high = current.high;
            if ((policy.onlyBytes & (kFuseLow | kFuseSingle)) == 0) fuses.low = current.low;
        }
        if (!AcceptFuseWrite(*m_pFrameHost, d, current, fuses, policy)) {
            // A No to the question shows nothing more, but the write failed.
            if (FailuresShown() == shownBefore) m_recorder.Note(Cause::Cancelled, text::kFuseWriteDeclined);
            return false;
        }
        const uint8_t ext = fuses.ext;
        uint8_t& high = fuses.high;
        uint8_t& low = fuses.low;
        switch (d.fuseWrite) {
            case FuseWrite::LockLowInQ: return link.WriteLockBytes(0xA0, low);
            case FuseWrite::LockLow5InP:
                return link.WriteLockBytes(static_cast<uint8_t>((low & 0x1F) | 0xA0), 0x00);
            case FuseWrite::LockLow1InP:
                return link.WriteLockBytes(static_cast<uint8_t>((low & 0x01) | 0xBE), 0x00);
            case FuseWrite::None: return true;  // nothing to write
            case FuseWrite::PerByte: break;
        }
        high = static_cast<uint8_t>(high | d.forcedHighOnes);
        low = static_cast<uint8_t>(low | d.forcedLowOnes);
        const uint8_t values[] = {ext, high, low};
        for (size_t i = 0; i < std::size(kFuseBytes); ++i) {
            if ((d.fuseMask & kFuseBytes[i].maskBit) == 0) continue;
            if (!link.WriteFuseByte(kFuseBytes[i].selector, values[i])) return false;
        }
        return true;
    });
    if (!r || !options.report) return r;
    // The verify compares what was sent, ATmega163's forced ones included.
    if (options.verify) return VerifyFuses(fuses, {.timing = false});
    m_host.ShowMessage(MsgKind::Information, text::kFuseWriteDone);
    return r;
}

bool COrioleCore::VerifyFuses(FuseBytes fuses, const OpOptions& options) {
    // Only the bits the device has are compared: the others read as 1
    // whatever was written (efuse 0x05 reads back as 0xFD on an ATmega328P),
    // so a difference there alone is no error, whoever asks.
    fuses = FuseBytesAsRead(*m_pDevice, fuses);
    const uint8_t ext = fuses.ext;
    uint8_t& high = fuses.high;
    uint8_t& low = fuses.low;
    FuseBytes got;
    // A read that failed has been reported by the layer that failed; the
    // bytes were not read, so nothing can be said about them.
    if (!ReadFuses(got, options.timing)) return false;
    got = FuseBytesAsRead(*m_pDevice, got);
    const uint8_t rext = got.ext;
    uint8_t& rhigh = got.high;
    uint8_t& rlow = got.low;
    const AVR_DEVICE& d = *m_pDevice;
    std::string names;
    bool differs = false;
    switch (d.fuseGroup) {
        case FuseGroup::SingleLow:
        case FuseGroup::InLockByte: differs = low != rlow; break;
        case FuseGroup::Current: {
            rhigh = static_cast<uint8_t>(rhigh | d.forcedHighOnes);
            high = static_cast<uint8_t>(high | d.forcedHighOnes);
            rlow = static_cast<uint8_t>(rlow | d.forcedLowOnes);
            low = static_cast<uint8_t>(low | d.forcedLowOnes);
            const uint8_t expected[] = {ext, high, low};
            const uint8_t read[] = {rext, rhigh, rlow};
            for (size_t i = 0; i < std::size(kFuseBytes); ++i) {
                if ((d.fuseMask & kFuseBytes[i].maskBit) == 0 || expected[i] == read[i]) continue;
                differs = true;
                if (!names.empty()) names += ',';
                names += kFuseBytes[i].name;
            }
            break;
        }
        case FuseGroup::None: break;
    }
    if (options.report) {
        if (!differs) {
            m_host.ShowMessage(MsgKind::Information, text::kFuseVerifyOk);
        } else {
            const std::string list = names.empty() ? std::string() : "[" + names + "]";
            m_host.ShowFailure(Cause::VerifyMismatch, MsgKind::Warning, FormatText(text::kFuseVerifyError, list.c_str()));
        }
    }
    return !differs;
}

bool COrioleCore::ReadLockBits(uint8_t& lock, bool timing) {
    bool unreadable = false;
    const bool r = RunFrame(timing, [&](CWriterLink& link) {
        lock = 0xFF;
        const FuseGroup group = m_pDevice->fuseGroup;
        // 0xFF from a device that cannot send its lock bits would pass for
        // a read; refuse instead of showing or comparing a value nobody read.
        // The device is known only here, after the detection.
        if (!DescribeMemory(*m_pDevice, Memory::Lock).readable) {
            unreadable = true;
            return false;
        }
        uint8_t m = 0xFF;
        if (!link.ReadLockByte(m)) return false;
        switch (group) {
            case FuseGroup::Current: lock = m; break;
            case FuseGroup::SingleLow: lock = static_cast<uint8_t>(m | 0xF9); break;
            case FuseGroup::InLockByte: lock = LockFromLockByte(m); break;
            case FuseGroup::None: break;
        }
        return true;
    });
    if (unreadable) m_host.ShowFailure(Cause::NoSuchMemory, MsgKind::Warning, text::kLockNotReadable);
    return r;
}

bool COrioleCore::WriteLockBits(uint8_t lock, const OpOptions& options) {
    bool notWritable = false;
    // The result includes the wait for the box's completion byte: a lock
    // write that was never acknowledged did not succeed.
    const bool r = RunFrame(options.timing, [&](CWriterLink& link) {
        if (!DescribeMemory(*m_pDevice, Memory::Lock).writable) {
            notWritable = true;
            return false;
        }
        const LockCommand command = LockCommandFor(m_pDevice->lockGroup, lock);
        return link.WriteLockBytes(command.p, command.q);
    });
    if (notWritable) m_host.ShowFailure(Cause::NoSuchMemory, MsgKind::Warning, text::kLockNotWritable);
    if (!r || !options.report) return r;
    if (options.verify) return VerifyWrittenLockBits(lock);
    m_host.ShowMessage(MsgKind::Information, text::kLockWriteDone);
    return r;
}

bool COrioleCore::VerifyLockBits(uint8_t expected, const OpOptions& options) {
    // The lock bits take effect a moment after they were written.
    m_host.Sleep(std::chrono::milliseconds(100));
    uint8_t read = 0xFF;
    if (!ReadLockBits(read, options.timing)) return false;
    // As for the fuses: the bits the device does not have are not compared
    // (lock 0x3C reads back as 0xFC on an ATmega328P).
    const bool equal = LockBitsAsRead(*m_pDevice, expected) == LockBitsAsRead(*m_pDevice, read);
    if (options.report) {
        if (equal) {
            m_host.ShowMessage(MsgKind::Information, text::kLockVerifyOk);
        } else {
            m_host.ShowFailure(Cause::VerifyMismatch, MsgKind::Warning, text::kLockVerifyError);
        }
    }
    return equal;
}

bool COrioleCore::VerifyWrittenLockBits(uint8_t expected) {
    if (DescribeMemory(*m_pDevice, Memory::Lock).readable) return VerifyLockBits(expected, {.timing = false});
    m_host.ShowMessage(MsgKind::Information, text::kLockWriteDone);
    m_host.ShowMessage(MsgKind::Warning, text::kLockNotVerified);
    return true;
}

}  // namespace oriole
