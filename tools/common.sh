# Shared by run.sh and test.sh: installs the Debian packages the build needs (only the
# missing ones) and configures a build folder.
set -euo pipefail

# JACK's headers from jackd2 (Debian's JACK), which RtMidi and RtAudio accept: the older JACK's
# headers would be removed, and those two with them, when a JACK server is installed later.
TALMERU_PACKAGES=(cmake ninja-build g++ pkg-config ccache libgtest-dev libgmock-dev
  libbenchmark-dev libcli11-dev nlohmann-json3-dev libsndfile1-dev libjack-jackd2-dev
  librtmidi-dev librtaudio-dev libkissfft-dev lv2-dev liblilv-dev lilv-utils
  clang libclang-rt-14-dev qt6-base-dev qt6-multimedia-dev xvfb xauth)
# tools/screenshot.sh: a window manager, a way to wait for windows, the screen grab and the
# tones of the demonstration bank.
TALMERU_SCREENSHOT_PACKAGES=(openbox xdotool x11-utils imagemagick sox)

# talmeru_install_deps [more packages...]
talmeru_install_deps() {
  local missing=()
  for p in "${TALMERU_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# A clean checkout in another folder (as CI makes) reuses what ccache holds.
export CCACHE_BASEDIR="$TALMERU_ROOT" CCACHE_NOHASHDIR=1

# A build folder copied with its tree (cp -a) still names the old folders in its cache, and
# CMake refuses it: the cache goes and the folder is configured afresh (what it built stays;
# ccache holds the objects, and the fuzz corpora are kept).
talmeru_forget_other_tree() {
  local dir=$1 cache="$1/CMakeCache.txt" built source
  [[ -f $cache ]] || return 0
  built=$(sed -n 's/^CMAKE_CACHEFILE_DIR:INTERNAL=//p' "$cache")
  source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$cache")
  if [[ $(realpath -m "$built") != "$(realpath -m "$dir")" ||
    $(realpath -m "$source") != "$(realpath -m "$TALMERU_ROOT")" ]]; then
    echo "$dir was configured for $source; configuring it afresh" >&2
    rm -rf "$cache" "$dir/CMakeFiles"
  fi
}

# talmeru_configure DIR [cmake args...]
talmeru_configure() {
  local dir=$1
  shift
  talmeru_forget_other_tree "$dir"
  cmake -S "$TALMERU_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

# The clang build with AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage:
# the fuzz targets and the bank engine's tests. FUZZ_BUILD names its folder.
talmeru_configure_fuzz() {
  CC=clang CXX=clang++ talmeru_configure "${FUZZ_BUILD:-$TALMERU_ROOT/build-fuzz}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMERU_FUZZ=ON -DTALMERU_CORE_ONLY=ON
}
