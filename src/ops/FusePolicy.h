#pragma once
// Which fuse writes go ahead: a write that releases SPIEN is refused (the box
// could never reach the chip again); one that programs RSTDISBL or DWEN or
// changes the clock source goes ahead as the write's FusePolicy says (asked,
// refused, or allowed with a warning that says what it does); every other
// write goes ahead. The fuse write applies it, for every front end alike.

#include "devices/FuseGuard.h"
#include "host/MessageHost.h"
#include "ops/OrioleCore.h"

namespace oriole {

// True when the write may go ahead. A refusal is one error that names the
// risks, followed by the policy's hint (how to allow them) where it has one.
// The risks in policy.accepted were answered before and are not asked again.
[[nodiscard]] bool AcceptFuseWrite(IMessageHost& host, const AVR_DEVICE& device, const FuseBytes& current,
                                   const FuseBytes& wanted, const FusePolicy& policy);

// The risks that `wanted` brings whatever the chip holds now (a SPIEN
// release, RSTDISBL or DWEN programmed); a clock change can only be seen
// against the chip's own bytes. `onlyBytes` (kFuse* bits, 0 all): the bytes
// written; the others are written back as the chip holds them and bring
// nothing.
unsigned FuseRisksOfValue(const AVR_DEVICE& device, const FuseBytes& wanted, int32_t onlyBytes = 0);

// `wanted` in the bytes `onlyBytes` names (kFuse* bits; 0 all), `current`
// in the others: what a write of those bytes leaves on the chip.
FuseBytes MergedFuses(const FuseBytes& current, const FuseBytes& wanted, int32_t onlyBytes);

// The one-line text of `risks` (fuse_risk bits), as a refusal says it.
std::string FuseRiskText(unsigned risks);

}  // namespace oriole
