#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

// The noise suppressor of the mode "fastenhancer": a streaming time-domain model that takes
// one hop of waveform ("wav_in", shape (1, hop)) and its recurrent state ("cache_in_N") and
// returns one hop of enhanced waveform and the next state ("cache_out_N"). Frames come out
// one frame late. A model that is missing or breaks that contract leaves the frames as they
// are, and is not tried again by this object. A run that fails is logged once; the frames then
// pass unchanged.
//
// Threads: built on any thread (a worker loads it before capture starts), then used and
// destroyed by one thread at a time.
class FastEnhancerDenoiser
{
public:
    // `modelPath` empty: "fastenhancer.onnx" in the models folder.
    explicit FastEnhancerDenoiser(QString modelPath = {});
    ~FastEnhancerDenoiser();

    // Loads on the first call; true when the model is ready.
    bool ensureLoaded(int frameSize);
    // Loaded, and no run has failed since.
    bool isReady() const;
    // The model carries the generator's stand-in mark (it passes audio through).
    bool isPassThrough() const;
    // Back to the state right after loading: zero recurrent state, empty queues, the output
    // primed with one frame of silence. Allocates nothing.
    void reset();
    // Denoises the frame in place; unchanged when not ready or when a run fails.
    void process(qint16 *samples, int count);

    int hop() const;
    int stateTensorCount() const;
    // Samples waiting for the next run (bounded while runs keep failing).
    int pendingInput() const;

private:
    bool runHop();

    struct Impl;
    std::unique_ptr<Impl> d;
};
