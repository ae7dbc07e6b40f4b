#!/usr/bin/env bash
# Set-up in one place: installs the Debian packages that are missing, builds,
# then runs the demo or the tests.
#   ./run.sh demo   card server with the demo card, plus the front end
#   ./run.sh test   every test, through CTest
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  build-essential cmake pkgconf ccache
  qt6-base-dev qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libsqlite3-dev libgtest-dev libkml-dev libliquid-dev libsndfile1-dev libfftw3-dev portaudio19-dev
  xvfb xauth xdotool imagemagick openbox minimodem faketime
  clang-14 libclang-rt-14-dev
  scdoc librsvg2-bin desktop-file-utils appstream groff-base file locales
)
BUILD_DIR=${PLUVANE_BUILD_DIR:-build}

install_packages() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Builds the given targets, or everything.
build() {
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
  local targets=()
  for target in "$@"; do targets+=(--target "$target"); done
  cmake --build "$BUILD_DIR" -j"$(nproc)" "${targets[@]}"
}

# The demo's card server lives exactly as long as this script: it is
# stopped however the script ends (Quit, Ctrl-C, a front end that fails).
demo_server_pid=""
stop_demo_server() {
  [ -n "$demo_server_pid" ] || return 0
  kill "$demo_server_pid" 2>/dev/null || true
  wait "$demo_server_pid" 2>/dev/null || true
  demo_server_pid=""
}

run_demo() {
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (DISPLAY is not set): the front end needs a screen." >&2
    echo "Run the demo on a desktop session, or under a virtual screen: xvfb-run -a ./run.sh demo" >&2
    exit 2
  fi
  local server="$BUILD_DIR/bin/pluvane-cardserver"
  local port=${PLUVANE_DEMO_PORT:-33234}
  if [ -x "$server" ]; then
    trap stop_demo_server EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    "$server" --listen "127.0.0.1:$port" --demo &
    demo_server_pid=$!
    sleep 0.5
    if ! kill -0 "$demo_server_pid" 2>/dev/null; then
      demo_server_pid=""
      echo "The demo card server did not start (is port $port already in use?)." >&2
      exit 1
    fi
    echo "Demo card server on 127.0.0.1:$port with the demo card as card 1."
  fi
  "$BUILD_DIR/bin/pluvane"
}

run_tests() {
  cd "$BUILD_DIR"
  # Load tests carry the label slow and run on their own (ctest -L slow);
  # the fuzz targets build with clang and run under ctest -L fuzz.
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600 -LE 'slow|fuzz'
}

case "${1:-}" in
  demo)
    # PLUVANE_NO_SETUP=1 runs what is already built (the demo's own test does).
    if [ -z "${PLUVANE_NO_SETUP:-}" ]; then
      install_packages
      build pluvane pluvane-cardserver pluvane-reg pluvane-synop-component
    fi
    run_demo ;;
  test) install_packages; build; run_tests ;;
  # The real-time tests under a busy loop on every core, round after round:
  #   ./run.sh load [ROUNDS [LABEL|all]]
  load) install_packages; build; shift; platform/testing/under_load.sh "$BUILD_DIR" "$@" ;;
  *) echo "usage: $0 demo|test|load" >&2; exit 2 ;;
esac
