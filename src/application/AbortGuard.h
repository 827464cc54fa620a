#pragma once
// The "Synth did not respond" question's Abort ends the program at once; before that, the
// user is asked about an unsaved bank. Cancelling that question keeps the program running:
// the request is given up instead (Ignore).
#include <functional>

#include "platform/Prompter.h"

namespace talmeru {

class AbortGuard : public Prompter {
  public:
    // mayEnd: asks about the unsaved bank; false when the user cancelled.
    AbortGuard(Prompter& next, std::function<bool()> mayEnd)
        : next_(next), mayEnd_(std::move(mayEnd)) {}
    void Message(const std::string& text) override { next_.Message(text); }
    Answer Ask(const std::string& text, Buttons buttons) override {
        const Answer a = next_.Ask(text, buttons);
        if (buttons == Buttons::AbortRetryIgnore && a == Answer::Abort && !mayEnd_())
            return Answer::Ignore;
        return a;
    }
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wantedPath) override {
        return next_.LocateFile(title, filter, wantedPath);
    }

  private:
    Prompter& next_;
    std::function<bool()> mayEnd_;
};

}  // namespace talmeru
