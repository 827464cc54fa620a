#pragma once
#include <string>
#include <vector>

namespace talmeru {

// The program's arguments as UTF-8 text. On Windows main() receives them in the ANSI code page,
// which cannot hold a name in every script, so they are read again from the UTF-16 command line.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 text the program writes (Windows' console keeps a code page
// of its own); nothing elsewhere.
void UseUtf8Console();

// Whether standard error is a terminal (a console on Windows), where progress may be redrawn.
bool StderrIsTerminal();

}  // namespace talmeru
