#pragma once
// Talmeru is a window program: started where no display can be reached it says how to run it
// instead of failing inside Qt's platform plugin.
#include <functional>
#include <optional>
#include <string>

namespace talmeru {

// The help to print when no display is reachable (none: a display or a platform plugin is
// named). env looks a variable up (nullptr when unset).
std::optional<std::string> NoDisplayHelp(const std::function<const char*(const char*)>& env);

}  // namespace talmeru
