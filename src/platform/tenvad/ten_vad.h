#pragma once

// The voice detector library that the voice-activity detector loads at run time by the name
// "ten_vad". Three calls; every call returns 0 on success and a negative value on failure.
//
// The probability comes from the Silero VAD model (16 kHz) run by ONNX Runtime: the hops handed
// in are gathered into the model's windows of 512 samples (32 ms, two hops of 256), each judged
// with the 64 samples before it and the recurrent state the window before left; every hop
// reports the latest window's speech probability. An instance reports 0 until its sixth window
// (for 176 to 192 ms): from the model's empty initial state even faint steady noise reads as up
// to a quarter likely speech for a few windows. The flag is set when the probability reaches the
// threshold given at creation.
//
// The runtime is opened at the first creation and the model read from "models/silero_vad.onnx"
// next to this library, once per process. When either is missing or does not load, one warning
// is logged ("audio.vad") and every instance answers from WebRTC's voice detector instead: 10 ms
// blocks, the probability being the share of voiced blocks among the last three, nothing
// reported for an instance's first 200 ms while that detector learns the noise.
//
// One instance is used by one thread at a time.

#include <stddef.h>
#include <stdint.h>

#if defined(TEN_VAD_BUILDING)
#define TEN_VAD_API __attribute__((visibility("default")))
#else
#define TEN_VAD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Creates an instance for hops of `hop_size` samples at 16 kHz (1 .. 16000) and a speech
// threshold in [0, 1]; sets *handle.
TEN_VAD_API int ten_vad_create(void **handle, size_t hop_size, float threshold);

// Judges one hop of exactly `count` == hop_size samples. Writes the speech probability (0..1)
// and the flag (1 speech, 0 not).
TEN_VAD_API int ten_vad_process(void *handle, const int16_t *samples, size_t count, float *probability, int *flag);

// Destroys the instance and clears *handle.
TEN_VAD_API int ten_vad_destroy(void **handle);

#ifdef __cplusplus
}
#endif
