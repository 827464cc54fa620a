#pragma once
// The line-by-line report of an import: "+" for what was created, "X" for what was refused
// or skipped, "?" for a note, closed by "*** Done ***\r\n". The GUI shows it in its status
// window, the command-line tool prints it, tests record it.
#include <ostream>
#include <string>
#include <vector>

namespace talmeru {

class ConversionLog {
  public:
    virtual ~ConversionLog() = default;
    virtual void Clear() = 0;
    // One line, with the line ending the importer gave it.
    virtual void Add(const std::string& line) = 0;
};

// Prints each line on a stream, with the platform's line ending.
class StreamConversionLog : public ConversionLog {
  public:
    explicit StreamConversionLog(std::ostream& out) : out_(out) {}
    void Clear() override {}
    void Add(const std::string& line) override;

  private:
    std::ostream& out_;
};

// Keeps every line as it was given.
class RecordingConversionLog : public ConversionLog {
  public:
    void Clear() override { lines_.clear(); }
    void Add(const std::string& line) override { lines_.push_back(line); }
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Has(const std::string& line) const;
    // How many lines are exactly line.
    int Count(const std::string& line) const;
    // The lines joined, as a log window would hold them.
    std::string Text() const;

  private:
    std::vector<std::string> lines_;
};

}  // namespace talmeru
