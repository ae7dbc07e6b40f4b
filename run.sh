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
  xvfb xauth xdotool imagemagick openbox minimodem
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

run_demo() {
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (DISPLAY is not set): the front end needs a screen." >&2
    echo "Run the demo on a desktop session, or under a virtual screen: xvfb-run -a ./run.sh demo" >&2
    exit 2
  fi
  local server="$BUILD_DIR/bin/pluvane-cardserver"
  local server_pid=""
  if [ -x "$server" ]; then
    "$server" --demo &
    server_pid=$!
    trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; wait 2>/dev/null || true' EXIT
    sleep 0.5
    if ! kill -0 "$server_pid" 2>/dev/null; then
      echo "The demo card server did not start (is port 33234 already in use?)." >&2
      exit 1
    fi
    echo "Demo card server on 127.0.0.1:33234 with the demo card as card 1."
  fi
  "$BUILD_DIR/bin/pluvane"
}

run_tests() {
  cd "$BUILD_DIR"
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 600
}

case "${1:-}" in
  demo) install_packages; build pluvane pluvane-cardserver pluvane-reg pluvane-synop-component; run_demo ;;
  test) install_packages; build; run_tests ;;
  *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac
