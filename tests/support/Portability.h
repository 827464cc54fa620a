#pragma once
// What some tests need of the system that Windows lacks or does otherwise.
#include <fcntl.h>

#include <cstdlib>

#include <gtest/gtest.h>

// Skips the test on Windows, naming what it needs that Windows lacks ("FIFOs", ...).
#if defined(_WIN32)
#define TALMERU_SKIP_ON_WINDOWS(needs) GTEST_SKIP() << "needs " needs ", which Windows lacks"
#else
#define TALMERU_SKIP_ON_WINDOWS(needs) static_cast<void>(0)
#endif

namespace talmeru::test {

// open()'s flag for bytes as they are: Windows otherwise turns "\n" into "\r\n".
#if defined(_WIN32)
inline constexpr int kOpenBinary = O_BINARY;
#else
inline constexpr int kOpenBinary = 0;
#endif

inline void SetEnv(const char* name, const char* value) {
#if defined(_WIN32)
    _putenv_s(name, value);
#else
    ::setenv(name, value, 1);
#endif
}

inline void UnsetEnv(const char* name) {
#if defined(_WIN32)
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

}  // namespace talmeru::test
