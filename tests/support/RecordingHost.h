#pragma once
// A message host for tests: records every message it is shown and answers
// questions from a script (No once the script runs out).

#include <deque>
#include <string>
#include <vector>

#include "host/MessageHost.h"

namespace oriole::test {

struct RecordedMessage {
    MsgKind kind;
    std::string text;
    bool operator==(const RecordedMessage&) const = default;
};

class RecordingHost : public IMessageHost {
public:
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer /*defaultAnswer*/) override {
        messages.push_back({kind, std::string(text)});
        if (kind != MsgKind::Question) return Answer::Ok;
        if (answers.empty()) return Answer::No;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    // Texts only, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(m.text);
        return out;
    }

    std::vector<RecordedMessage> messages;
    std::deque<Answer> answers;
};

}  // namespace oriole::test
