#pragma once

// The voice detector library that the voice-activity detector loads at run time by the name
// "ten_vad". Three calls; every call returns 0 on success and a negative value on failure.
//
// Decisions come from WebRTC's voice detector on 10 ms blocks of the 16 kHz input; the hops
// handed in need not align with those blocks (a remainder waits for the next hop). The
// probability of a hop is the share of voiced blocks among the last three decided (30 ms);
// the flag is set when that share reaches the threshold given at creation.
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
