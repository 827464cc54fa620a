#include "app/NoDisplay.h"

namespace talmeru {

namespace {

bool Set(const char* value) {
    return value && *value;
}

}  // namespace

std::optional<std::string> NoDisplayHelp(const std::function<const char*(const char*)>& env) {
    // QT_QPA_PLATFORM names a plugin that needs no display (offscreen, vnc, ...).
    if (Set(env("DISPLAY")) || Set(env("WAYLAND_DISPLAY")) || Set(env("QT_QPA_PLATFORM")))
        return std::nullopt;
    return "No display: Talmeru is a window program (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
           "  - on a desktop, run ./run.sh there;\n"
           "  - from a remote shell: ssh -X, then ./run.sh;\n"
           "  - headless (nothing to see, e.g. for a screenshot): xvfb-run -a ./run.sh [bank];\n"
           "    tools/screenshot.sh makes docs/screenshot.png that way;\n"
           "  - the command-line librarian works without one: build/src/talmeru-cli --help\n";
}

}  // namespace talmeru
