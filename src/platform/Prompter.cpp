#include "platform/Prompter.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace talmeru {

namespace {
StderrPrompter g_default(false);
std::atomic<Prompter*> g_current{nullptr};

class SilentPrompter : public Prompter {
  public:
    void Message(const std::string&) override {}
    Answer Ask(const std::string&, Buttons buttons) override {
        return buttons == Buttons::AbortRetryIgnore ? Answer::Abort : Answer::No;
    }
    std::optional<std::string> LocateFile(const std::string&, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }
};
SilentPrompter g_silent;
thread_local bool t_quiet = false;
}  // namespace

QuietThread::QuietThread() : wasQuiet_(t_quiet) {
    t_quiet = true;
}
QuietThread::~QuietThread() {
    t_quiet = wasQuiet_;
}

Prompter& CurrentPrompter() {
    if (t_quiet) return g_silent;
    Prompter* p = g_current.load();
    return p ? *p : g_default;
}

void SetPrompter(Prompter* prompter) {
    g_current.store(prompter);
}

ScopedPrompter::ScopedPrompter(Prompter& p) : previous_(g_current.load()) {
    SetPrompter(&p);
}
ScopedPrompter::~ScopedPrompter() {
    SetPrompter(previous_);
}

void StderrPrompter::Message(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

Answer StderrPrompter::Ask(const std::string& text, Buttons buttons) {
    Answer a;
    switch (buttons) {
        case Buttons::AbortRetryIgnore:
            a = yes_ ? Answer::Retry : Answer::Abort;
            break;
        default:
            a = yes_ ? Answer::Yes : Answer::No;
            break;
    }
    const char* word = a == Answer::Yes     ? "yes"
                       : a == Answer::No    ? "no"
                       : a == Answer::Retry ? "retry"
                                            : "abort";
    std::fprintf(stderr, "%s [answered %s]\n", text.c_str(), word);
    return a;
}

std::optional<std::string> StderrPrompter::LocateFile(const std::string& title, const std::string&,
                                                      const std::string& wantedPath) {
    std::fprintf(stderr, "%s: %s [not located]\n", title.c_str(), wantedPath.c_str());
    return std::nullopt;
}

void ScriptedPrompter::Message(const std::string& text) {
    shown_.push_back({text, false});
}

Answer ScriptedPrompter::Ask(const std::string& text, Buttons) {
    shown_.push_back({text, true});
    if (answers_.empty()) return default_;
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
}

std::optional<std::string> ScriptedPrompter::LocateFile(const std::string& title,
                                                        const std::string&, const std::string&) {
    shown_.push_back({title, true});
    if (files_.empty()) return std::nullopt;
    auto f = files_.front();
    files_.pop_front();
    return f;
}

std::vector<std::string> ScriptedPrompter::Messages() const {
    std::vector<std::string> out;
    for (const auto& s : shown_)
        if (!s.question) out.push_back(s.text);
    return out;
}

std::vector<std::string> ScriptedPrompter::Questions() const {
    std::vector<std::string> out;
    for (const auto& s : shown_)
        if (s.question) out.push_back(s.text);
    return out;
}

bool ScriptedPrompter::Saw(const std::string& text) const {
    return std::any_of(shown_.begin(), shown_.end(),
                       [&](const Shown& s) { return s.text == text; });
}

}  // namespace talmeru
