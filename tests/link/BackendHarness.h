#pragma once
// One backend set up against a simulated box, for the contract suite: the
// driver under test plus a view of the box behind it.

#include <memory>
#include <string>
#include <vector>

#include "host/Clock.h"
#include "link/WriterDriver.h"

namespace oriole::test {

class BackendHarness {
public:
    virtual ~BackendHarness() = default;
    // A fresh box with these sim options behind a fresh driver; false (with
    // a reason) when the backend cannot run here.
    virtual bool Start(const std::string& simOptions, std::string& why) = 0;
    virtual IWriterDriver& Driver() = 0;
    virtual std::vector<std::string> Transcript() = 0;
    virtual void ClearTranscript() = 0;
    // Configuration calls as the box saw them; empty when the backend has
    // no such calls to show (a serial port's settings are not box calls).
    virtual std::vector<std::string> CallLog() = 0;
    // Whether driver-call faults reach this backend.
    virtual bool InjectsCallFaults() const = 0;
    // The clock of the test host, which the link's time-outs run on.
    virtual IClock& Clock() = 0;
    // Where the box's clock and faults can be reached from the test: time
    // passes for the box at once (answers it holds back fall due, the
    // link's time-out clock runs on), and its faults can be taken away while the
    // bytes on their way stay.
    virtual bool CanSkipTime() const { return false; }
    virtual void SkipTime(ClockTime) {}
    virtual void ClearFaults() {}
    // A byte of line noise waiting for the driver before it opens the box;
    // false where this backend has no line to put it on.
    virtual bool PutStrayByte() { return false; }
};

struct BackendKind {
    const char* name;
    std::unique_ptr<BackendHarness> (*make)();
};

std::unique_ptr<BackendHarness> MakeSimHarness();
std::unique_ptr<BackendHarness> MakeD2xxHarness();
std::unique_ptr<BackendHarness> MakeSerialHarness();
std::unique_ptr<BackendHarness> MakeFtdiHarness();  // the USB tests only

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace oriole::test
