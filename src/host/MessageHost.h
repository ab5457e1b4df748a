#pragma once
// The core never talks to a window system. Whatever it has to tell or ask the
// user goes through this interface: the Qt window shows message boxes, the
// command-line tool prints, tests record and answer from a script.

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

class IMessageHost {
public:
    virtual ~IMessageHost() = default;

    // Shows one message (UTF-8, '\n' for a line break) and waits for the
    // user. Error, warning and information return Answer::Ok; a question
    // returns Yes or No. `defaultAnswer` is the button a question starts on.
    virtual Answer ShowMessage(MsgKind kind, std::string_view text,
                               Answer defaultAnswer = Answer::Yes) = 0;
};

}  // namespace oriole
