#pragma once
// The settings file with the semantics of Windows profile files: sections and keys are
// found without regard to case, values are trimmed, the order of sections and keys and
// every line we do not understand (comments, unknown keys) are kept as they were.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace talmeru {

class Profile {
  public:
    Profile() = default;
    explicit Profile(std::filesystem::path path) : path_(std::move(path)) {}

    // Reads path_; a missing file is an empty profile. False when the file exists but
    // cannot be read, is no regular file or holds no settings text; Error() says which.
    bool Load();
    const std::string& Error() const { return error_; }
    void LoadFromText(const std::string& text);
    std::string ToText() const;
    // Writes atomically; false (and the old file intact) on failure, and always after Load
    // refused the file.
    bool Save() const;

    const std::filesystem::path& Path() const { return path_; }
    void SetPath(std::filesystem::path p) {
        path_ = std::move(p);
        error_.clear();
    }

    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def = {}) const;
    // Windows reads the leading decimal number of the value and 0 when there is none;
    // the default only when the key is missing.
    int GetInt(std::string_view section, std::string_view key, int def) const;
    // A boolean setting counts as on only when its stored value is 1.
    bool GetBool(std::string_view section, std::string_view key, bool def) const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value) {
        WriteInt(section, key, value ? 1 : 0);
    }
    void DeleteKey(std::string_view section, std::string_view key);
    void DeleteSection(std::string_view section);

    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

  private:
    struct Line {
        std::string key;    // empty for a line that is not a key (comment, blank, junk)
        std::string value;  // for keys
        std::string raw;    // for other lines, written back as read
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;

    std::filesystem::path path_;
    std::string error_;
    std::vector<std::string> preamble_;  // lines before the first section
    std::vector<Section> sections_;
};

}  // namespace talmeru
