#pragma once
// talmeru-cli: the command-line librarian. Messages the system would show go to err;
// questions are answered No unless --yes is given.
#include <ostream>

namespace talmeru {

// Exit status: 0 success, 1 the operation failed, 2 wrong usage.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace talmeru
