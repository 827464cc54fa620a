#pragma once
// The ROM bank cache: the synthesizer's factory objects saved once per ROM version as
// "Rombank%04x.pbf", built by downloading the whole ROM the first time, loaded afterwards.
#include <filesystem>
#include <memory>
#include <string>

namespace talmeru {

class BankLink;
class DownloadObserver;
class Profile;
class ZedoDatabase;

inline constexpr int kDefaultRomVersion = 0x0103;

class RomBankCache {
  public:
    RomBankCache(std::filesystem::path folder, Profile& settings)
        : folder_(std::move(folder)), settings_(settings) {}

    static std::string FileName(int romVersion);
    std::filesystem::path PathFor(int romVersion) const { return folder_ / FileName(romVersion); }

    // The ROM bank. link: the synthesizer when it answers, else none (then version 0x0103 is
    // assumed). A missing cache is built through scratch (the download goes into it) when
    // there is a link. nullptr only when the synthesizer's ROM version cannot be told; a
    // cache that cannot be loaded gives an empty ROM bank (the reason has been shown).
    // observer: the download's progress while the cache is built.
    std::unique_ptr<ZedoDatabase> Load(BankLink* link, ZedoDatabase& scratch,
                                       DownloadObserver* observer = nullptr);
    // Whether the last Load built the cache file.
    bool Built() const { return built_; }
    // Whether the last Load gave the ROM bank itself, not an empty stand-in.
    bool Loaded() const { return loaded_; }
    const std::filesystem::path& LastPath() const { return last_; }

  private:
    // Downloads the whole ROM from link into scratch and saves it as the cache file.
    void Build(BankLink& link, ZedoDatabase& scratch, DownloadObserver* observer, int version);
    std::filesystem::path folder_;
    Profile& settings_;
    bool built_ = false;
    bool loaded_ = false;
    std::filesystem::path last_;
};

}  // namespace talmeru
