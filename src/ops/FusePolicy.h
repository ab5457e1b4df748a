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
[[nodiscard]] bool AcceptFuseWrite(IMessageHost& host, const AVR_DEVICE& device, const FuseBytes& current,
                                   const FuseBytes& wanted, const FusePolicy& policy);

// The risks that `wanted` brings whatever the chip holds now (a SPIEN
// release, RSTDISBL or DWEN programmed); a clock change can only be seen
// against the chip's own bytes.
unsigned FuseRisksOfValue(const AVR_DEVICE& device, const FuseBytes& wanted);

// The one-line text of `risks` (fuse_risk bits), as a refusal says it.
std::string FuseRiskText(unsigned risks);

}  // namespace oriole
