#pragma once
// The bank engine's error: a text of at most 256 characters that the catching operation
// shows to the user.
#include <stdexcept>
#include <string>

namespace talmeru {

class BankObject;

class ZedoException : public std::runtime_error {
  public:
    explicit ZedoException(const std::string& text);
    // "%s (%s(%d):"%s")": the text with the kind name, number and name of the object.
    ZedoException(const std::string& text, const BankObject& object);
};

}  // namespace talmeru
