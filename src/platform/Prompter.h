#pragma once
// Stands in for the modal message boxes of the design. The GUI shows dialogs, the
// command-line tool prints to stderr and answers by policy, tests script the answers.
// The process has one current prompter; the bank engine reports through it.
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace talmeru {

enum class Buttons { YesNo, YesNoCancel, AbortRetryIgnore };
enum class Answer { Yes, No, Cancel, Abort, Retry, Ignore };

class Prompter {
  public:
    virtual ~Prompter() = default;
    // An informing message with an OK button.
    virtual void Message(const std::string& text) = 0;
    virtual Answer Ask(const std::string& text, Buttons buttons) = 0;
    // Lets the user pick a file; none when the user declines.
    virtual std::optional<std::string> LocateFile(const std::string& title,
                                                  const std::string& filter,
                                                  const std::string& wantedPath) = 0;
};

Prompter& CurrentPrompter();
// nullptr restores the default (stderr, every question answered No).
void SetPrompter(Prompter* prompter);

class ScopedPrompter {
  public:
    explicit ScopedPrompter(Prompter& p);
    ~ScopedPrompter();
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

  private:
    Prompter* previous_;
};

// While it lives, this thread (only) answers every question No and shows nothing: for work
// off the main thread, such as the synthesizer stand-in unpacking what it plays.
class QuietThread {
  public:
    QuietThread();
    ~QuietThread();
    QuietThread(const QuietThread&) = delete;
    QuietThread& operator=(const QuietThread&) = delete;

  private:
    bool wasQuiet_;
};

// While it lives, passes everything to the prompter that was current and notes whether a
// message was shown, so that a failure already explained is not reported a second time.
class MessageWatch : public Prompter {
  public:
    MessageWatch() : inner_(CurrentPrompter()), scope_(*this) {}
    void Message(const std::string& text) override {
        shown_ = true;
        inner_.Message(text);
    }
    Answer Ask(const std::string& text, Buttons buttons) override {
        return inner_.Ask(text, buttons);
    }
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wantedPath) override {
        return inner_.LocateFile(title, filter, wantedPath);
    }
    bool Shown() const { return shown_; }

  private:
    Prompter& inner_;
    ScopedPrompter scope_;
    bool shown_ = false;
};

inline void ShowMessage(const std::string& text) {
    CurrentPrompter().Message(text);
}
inline bool AskYesNo(const std::string& text) {
    return CurrentPrompter().Ask(text, Buttons::YesNo) == Answer::Yes;
}

// Prints every text to stderr; questions get Yes (for Yes/No and Yes/No/Cancel) or
// Retry/Abort according to the policy, and no file is ever located.
class StderrPrompter : public Prompter {
  public:
    explicit StderrPrompter(bool answerYes) : yes_(answerYes) {}
    void Message(const std::string& text) override;
    Answer Ask(const std::string& text, Buttons buttons) override;
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wantedPath) override;

  private:
    bool yes_;
};

// Test double: answers from a script (then a default) and records every text it was shown.
class ScriptedPrompter : public Prompter {
  public:
    struct Shown {
        std::string text;
        bool question = false;
    };

    explicit ScriptedPrompter(Answer defaultAnswer = Answer::No) : default_(defaultAnswer) {}
    void Message(const std::string& text) override;
    Answer Ask(const std::string& text, Buttons buttons) override;
    std::optional<std::string> LocateFile(const std::string& title, const std::string& filter,
                                          const std::string& wantedPath) override;

    void QueueAnswer(Answer a) { answers_.push_back(a); }
    void QueueFile(std::optional<std::string> path) { files_.push_back(std::move(path)); }
    void SetDefault(Answer a) { default_ = a; }

    const std::vector<Shown>& All() const { return shown_; }
    std::vector<std::string> Messages() const;
    std::vector<std::string> Questions() const;
    bool Saw(const std::string& text) const;
    void Clear() { shown_.clear(); }

  private:
    Answer default_;
    std::deque<Answer> answers_;
    std::deque<std::optional<std::string>> files_;
    std::vector<Shown> shown_;
};

}  // namespace talmeru
