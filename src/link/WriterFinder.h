#pragma once
// Finding writer boxes before a link is opened: the list for
// "oriole-cli writers", and waiting for a box that is not there yet.

#include <chrono>
#include <string_view>
#include <vector>

#include "host/Clock.h"
#include "link/Backends.h"

namespace oriole {

// Every box the USB backends can see: the ftdi chips (with their product
// string, also those this user may not open), the devices in D2XX's own list,
// then the ttys of USB serial adapters. D2XX's list comes from the library a
// d2xx `writerSpec` names, otherwise from the system's own; without a D2XX
// library it adds nothing. A chip that both libftdi and D2XX see is listed
// once under each, since either backend can open it.
std::vector<FoundWriter> FindWriters(std::string_view writerSpec = {});

// Tries to open the box of `spec` every quarter second until it opens or
// `limit` has passed; true when it opened (it is closed again at once).
bool WaitForWriter(std::string_view spec, std::chrono::milliseconds limit, IClock& clock);

}  // namespace oriole
