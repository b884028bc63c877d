#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers, with the suppressions in scripts/*.supp.
#
#   scripts/sanitize.sh                      the whole suite under AddressSanitizer, LeakSanitizer
#                                            and UndefinedBehaviorSanitizer (build-asan/)
#   scripts/sanitize.sh address,undefined    the same
#   scripts/sanitize.sh thread               the audio and media tests under ThreadSanitizer
#                                            (build-tsan/, only those test programs are built)
#   scripts/sanitize.sh thread -R loopback   extra arguments go to ctest
#
# KESTOVA_JOBS sets the build and test parallelism (default: the number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-address,undefined}"
[ $# -gt 0 ] && shift
jobs="${KESTOVA_JOBS:-$(nproc)}"
supp="$PWD/scripts"

# The audio and media tests: everything that runs capture, playback or media threads.
thread_tests=(
  test_audio_machine_store test_audio_pipeline test_vad_detector test_audio_capture_engine
  test_audio_capture_manager test_fast_enhancer_denoiser test_dpdfnet_denoiser
  test_audio_playback_manager test_audio_control test_audio_loopback
  test_connection_quality test_livekit_connection test_media_session_service test_media_session_rooms
  test_pulse_audio_devices test_audio_event
  test_audio_processing_module test_livekit_data_framing test_livekit_room
  test_local_service_voice test_thread_handoff test_media_soak test_realtime_scheduling
  test_noise_modes test_echo_cancellation
)

case "$mode" in
  address,undefined|undefined,address)
    build=build-asan
    # Slow unwinding on allocation: the system libraries keep no frame pointers, and without it a
    # leak's stack ends at their allocator, so neither a reader nor a suppression sees where it began.
    export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:fast_unwind_on_malloc=0"
    export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
    ;;
  thread)
    build=build-tsan
    export TSAN_OPTIONS="suppressions=$supp/tsan.supp:halt_on_error=0:die_after_fork=0"
    ;;
  *)
    echo "usage: $0 [address,undefined|thread] [ctest arguments...]" >&2
    exit 2
    ;;
esac

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTOVA_SANITIZE="$mode"
fi

if [ "$mode" = thread ]; then
  cmake --build "$build" -j"$jobs" --target "${thread_tests[@]}"
  regex="^($(IFS='|'; echo "${thread_tests[*]}"))\$"
  ./scripts/test-session.sh ctest --test-dir "$build" --output-on-failure -j"$jobs" -R "$regex" "$@"
else
  cmake --build "$build" -j"$jobs"
  ./scripts/test-session.sh ctest --test-dir "$build" --output-on-failure -j"$jobs" "$@"
fi
