#include "link/WriterFinder.h"

#include "link/WriterLink.h"
#include "link/WriterSpec.h"

namespace oriole {

std::vector<FoundWriter> FindWriters(std::string_view writerSpec) {
    // "d2xx:ARG" and "d2xx,ARG" alike, as the spec's own parser splits them.
    std::string_view d2xxArgument;
    if (writerSpec.starts_with("d2xx:") || writerSpec.starts_with("d2xx,")) d2xxArgument = writerSpec.substr(5);
    std::vector<FoundWriter> found = ListFtdiWriters();
    for (auto& w : ListD2xxWriters(d2xxArgument)) found.push_back(std::move(w));
    for (auto& w : ListSerialWriters()) found.push_back(std::move(w));
    // USB strings come from the chip's EEPROM, which anyone can rewrite: a
    // tab or a newline there must not break the one-line-per-box list.
    for (FoundWriter& w : found)
        for (std::string* text : {&w.serial, &w.description, &w.location})
            for (char& c : *text)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return found;
}

bool WaitForWriter(std::string_view spec, std::chrono::milliseconds limit, IClock& clock) {
    constexpr auto kPoll = std::chrono::milliseconds(250);
    const ClockTime deadline = clock.Now() + limit;
    std::string error;
    const auto driver = CreateWriterDriver(spec, error);
    if (!driver) return false;
    for (;;) {
        if (driver->OpenByDescription(kLinkDescription) == kFtOk) {
            driver->Close();
            return true;
        }
        const ClockTime now = clock.Now();
        if (now >= deadline) return false;
        clock.SleepUntil(std::min<ClockTime>(deadline, now + kPoll));
    }
}

}  // namespace oriole
