#pragma once
// The program's version, taken from project(VERSION) in CMakeLists.txt so that it is written
// in one place. Settings files, saved banks and WAV files record it as one hex digit per
// part: 1.4.7 is 0x147.
#if !defined(TALMERU_VERSION_MAJOR) || !defined(TALMERU_VERSION_MINOR) || \
    !defined(TALMERU_VERSION_PATCH)
#error "TALMERU_VERSION_* come from the build (talmeru_platform's compile definitions)"
#endif

namespace talmeru {

static_assert(TALMERU_VERSION_MAJOR < 16 && TALMERU_VERSION_MINOR < 16 &&
                  TALMERU_VERSION_PATCH < 16,
              "each version part must fit one hex digit");

inline constexpr int kTalmeruVersion =
    (TALMERU_VERSION_MAJOR << 8) | (TALMERU_VERSION_MINOR << 4) | TALMERU_VERSION_PATCH;

}  // namespace talmeru
