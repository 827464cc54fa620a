#pragma once
// How the bank-file readers give up: the first fault found ends the reading, and the reader's
// entry point shows the text and returns its failure code.
#include <string>
#include <utility>

namespace talmeru {

// Ends the reading of a bank file; the reader shows the text.
struct BankReadError {
    std::string text;
};

[[noreturn]] inline void Fail(std::string text) {
    throw BankReadError{std::move(text)};
}

}  // namespace talmeru
