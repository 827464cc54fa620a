#include "platform/Profile.h"

#include <cstdlib>
#include <string>

#include "platform/FileUtil.h"
#include "platform/Format.h"

namespace talmeru {

namespace {
std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return std::string(s.substr(b, e - b));
}
// Settings text: no control characters but tabs and line ends, and before the first section
// only blank lines, comments and keys. Anything else (a bank, a document) is no settings file
// and must not be rewritten as one.
bool IsSettingsText(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    // A byte-order mark, as some editors write, is no content.
    size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = Trim(std::string_view(text).substr(pos, nl - pos));
        pos = nl + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') return line.find(']') != std::string::npos;
        if (line.find('=') == std::string::npos || line[0] == '=') return false;
    }
    return true;
}

}  // namespace

bool Profile::Load() {
    preamble_.clear();
    sections_.clear();
    error_.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return true;
    if (error_ = NotRegularFileMessage(Utf8FromPath(path_)); !error_.empty()) return false;
    auto data = ReadWholeFile(path_, 16u << 20);
    if (!data) {
        error_ = Fmt("\"%s\" cannot be read.", Utf8FromPath(path_).c_str());
        return false;
    }
    std::string text(data->begin(), data->end());
    if (!IsSettingsText(text)) {
        error_ = Fmt("\"%s\" is not a settings file.", Utf8FromPath(path_).c_str());
        return false;
    }
    LoadFromText(text);
    return true;
}

void Profile::LoadFromText(const std::string& text) {
    preamble_.clear();
    sections_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string_view raw(text.data() + pos, nl - pos);
        pos = nl + 1;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string line = Trim(raw);
        if (line.size() >= 2 && line.front() == '[') {
            size_t close = line.find(']');
            if (close != std::string::npos) {
                sections_.push_back({Trim(std::string_view(line).substr(1, close - 1)), {}});
                continue;
            }
        }
        Line l;
        size_t eq = line.find('=');
        if (!line.empty() && line[0] != ';' && eq != std::string::npos && eq > 0) {
            l.key = Trim(std::string_view(line).substr(0, eq));
            l.value = Trim(std::string_view(line).substr(eq + 1));
        }
        if (l.key.empty()) l.raw = std::string(raw);
        if (sections_.empty())
            preamble_.push_back(std::string(raw));
        else
            sections_.back().lines.push_back(std::move(l));
    }
}

std::string Profile::ToText() const {
    std::string out;
    for (const auto& p : preamble_)
        out += p + "\n";
    for (const auto& s : sections_) {
        out += "[" + s.name + "]\n";
        for (const auto& l : s.lines)
            out += l.key.empty() ? l.raw + "\n" : l.key + "=" + l.value + "\n";
    }
    return out;
}

bool Profile::Save() const {
    // A file that Load refused is not ours to overwrite.
    if (!error_.empty()) return false;
    std::string text = ToText();
    return WriteFileAtomic(path_, std::vector<uint8_t>(text.begin(), text.end()));
}

Profile::Section* Profile::FindSection(std::string_view name) {
    for (auto& s : sections_)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

const Profile::Section* Profile::FindSection(std::string_view name) const {
    for (const auto& s : sections_)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

std::optional<std::string> Profile::Find(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    if (!s) return std::nullopt;
    for (const auto& l : s->lines)
        if (!l.key.empty() && EqualsNoCase(l.key, key)) {
            std::string v = l.value;
            // A value in matching quotes is read without them.
            if (v.size() >= 2 &&
                ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
                v = v.substr(1, v.size() - 2);
            return v;
        }
    return std::nullopt;
}

std::string Profile::GetString(std::string_view section, std::string_view key,
                               std::string_view def) const {
    auto v = Find(section, key);
    return v ? *v : std::string(def);
}

int Profile::GetInt(std::string_view section, std::string_view key, int def) const {
    auto v = Find(section, key);
    if (!v) return def;
    const char* p = v->c_str();
    bool neg = false;
    if (*p == '-') {
        neg = true;
        ++p;
    }
    long long n = 0;
    while (*p >= '0' && *p <= '9') {
        n = n * 10 + (*p - '0');
        if (n > 0x7FFFFFFFLL) n = 0x7FFFFFFFLL;
        ++p;
    }
    return static_cast<int>(neg ? -n : n);
}

bool Profile::GetBool(std::string_view section, std::string_view key, bool def) const {
    auto v = Find(section, key);
    if (!v) return def;
    return GetInt(section, key, 0) == 1;
}

void Profile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    for (auto& l : s->lines)
        if (!l.key.empty() && EqualsNoCase(l.key, key)) {
            l.value = std::string(value);
            return;
        }
    // New keys go after the last key of the section, before trailing blank lines.
    auto at = s->lines.end();
    while (at != s->lines.begin() && (at - 1)->key.empty() && Trim((at - 1)->raw).empty())
        --at;
    s->lines.insert(at, Line{std::string(key), std::string(value), {}});
}

void Profile::WriteInt(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

void Profile::DeleteKey(std::string_view section, std::string_view key) {
    Section* s = FindSection(section);
    if (!s) return;
    std::erase_if(s->lines,
                  [&](const Line& l) { return !l.key.empty() && EqualsNoCase(l.key, key); });
}

void Profile::DeleteSection(std::string_view section) {
    std::erase_if(sections_, [&](const Section& s) { return EqualsNoCase(s.name, section); });
}

std::vector<std::string> Profile::Sections() const {
    std::vector<std::string> out;
    for (const auto& s : sections_)
        out.push_back(s.name);
    return out;
}

std::vector<std::string> Profile::Keys(std::string_view section) const {
    std::vector<std::string> out;
    if (const Section* s = FindSection(section))
        for (const auto& l : s->lines)
            if (!l.key.empty()) out.push_back(l.key);
    return out;
}

}  // namespace talmeru
