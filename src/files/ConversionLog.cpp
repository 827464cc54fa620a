#include "files/ConversionLog.h"

#include <algorithm>

namespace talmeru {

void StreamConversionLog::Add(const std::string& line) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    out_ << text << '\n';
}

bool RecordingConversionLog::Has(const std::string& line) const {
    return Count(line) > 0;
}

int RecordingConversionLog::Count(const std::string& line) const {
    return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
}

std::string RecordingConversionLog::Text() const {
    std::string all;
    for (const auto& l : lines_)
        all += l;
    return all;
}

}  // namespace talmeru
