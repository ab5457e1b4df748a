#pragma once
// Which fuse writes a front end may send without asking, for every front
// end alike: a write that releases SPIEN is refused (the box could never
// reach the chip again), one that programs RSTDISBL or DWEN or changes the
// clock source goes ahead only when the user allowed such writes, with a
// warning that says what it does; every other write goes ahead.

#include "devices/FuseGuard.h"
#include "host/MessageHost.h"

namespace oriole {

// True when the write may go ahead. A refusal is one error that names the
// risks, followed by `hint` (how to allow them) where it is not empty.
[[nodiscard]] bool AcceptFuseWrite(IMessageHost& host, const AVR_DEVICE& device, const FuseBytes& current,
                                   const FuseBytes& wanted, bool allowRisky, const char* hint);

}  // namespace oriole
