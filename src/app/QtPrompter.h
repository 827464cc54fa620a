#pragma once
// The bank engine's messages and questions as message boxes. Calls from another thread (the
// upload worker) wait while the GUI thread shows the box.
#include "platform/Prompter.h"

namespace talmeru {

class QtPrompter : public Prompter {
  public:
    void Message(const std::string& text) override;
    Answer Ask(const std::string& text, Buttons buttons) override;
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wantedPath) override;
};

}  // namespace talmeru
