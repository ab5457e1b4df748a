#pragma once
// The core never talks to a window system. Whatever it has to tell or ask the
// user goes through this interface: the Qt window shows message boxes, the
// command-line tool prints, tests record and answer from a script.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace oriole {

// The four kinds of message box.
enum class MsgKind {
    Error,        // link and writer failures (stop icon)
    Warning,      // refusals, file and verify errors (exclamation icon)
    Information,  // successful results
    Question,     // Yes / No
};

enum class Answer { Ok, Yes, No };

// Why an operation failed. The layer that shows a failure's one message
// names its cause with it, so that callers (a production run deciding
// whether the socket is empty, the doctor, a log) decide by cause, never by
// the words of the message.
enum class Cause : uint8_t {
    None,
    NoAnswer,        // the box sent nothing in time
    WrongAnswer,     // the box answered something else
    Cancelled,       // the user cancelled
    Refused,         // the chip refused programming mode (no chip, wrong wiring)
    NotDetected,     // no known signature, or no device chosen with auto-detect off
    OtherDevice,     // a chip of another device than the one asked for
    VerifyMismatch,  // the chip holds other bytes than expected
    Policy,          // a write the safety rules refuse, or one the memory cannot take
    EmptyInput,      // an input with no data for its memory
    NoSuchMemory,    // the device has no such memory (or cannot read or write it)
    TooLarge,        // an input larger than its memory, or an address beyond it
    File,            // a file could not be read, written or understood
    Driver,          // the box is there but could not be opened (in use, port refused) or configured
    NoBox,           // no box was found
    NoAccess,        // a box was found, but this user may not open it
    Other,           // anything else shown as an error
};

// The cause's short name for logs and event streams ("no-answer", ...).
constexpr const char* CauseName(Cause cause) {
    constexpr const char* kNames[] = {"none",        "no-answer",   "wrong-answer",   "cancelled",
                                      "refused",     "not-detected", "other-device",  "verify-mismatch",
                                      "policy",      "empty-input", "no-such-memory", "too-large",
                                      "file",        "driver",      "no-box",         "no-access",
                                      "other"};
    static_assert(std::size(kNames) == static_cast<size_t>(Cause::Other) + 1, "one name per cause");
    const auto i = static_cast<size_t>(cause);
    return i < std::size(kNames) ? kNames[i] : "other";
}

class IMessageHost {
public:
    virtual ~IMessageHost() = default;

    // Shows one message (UTF-8, '\n' for a line break) and waits for the
    // user. Error, warning and information return Answer::Ok; a question
    // returns Yes or No. `defaultAnswer` is the button a question starts on.
    virtual Answer ShowMessage(MsgKind kind, std::string_view text,
                               Answer defaultAnswer = Answer::Yes) = 0;

    // Shows the one message of a failure and names its cause. A host that
    // keeps causes (the core's) overrides it; the others just show it.
    virtual void ShowFailure(Cause /*cause*/, MsgKind kind, std::string_view text) {
        (void)ShowMessage(kind, text, Answer::Ok);
    }
};

}  // namespace oriole
