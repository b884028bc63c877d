#pragma once

#include "audio/noise_mode.h"

#include <QString>
#include <QtGlobal>

#include <memory>

// A neural noise suppressor as the pipeline runs it: the model of the mode "fastenhancer" or
// "dpdfnet", loaded and checked. Loading reads and checks a model file, which takes far longer
// than one 10 ms frame, so the capture side loads it on a worker thread before capture starts
// and hands the result to the capture thread.
//
// Threads: loaded on any thread; from then on used by one thread at a time (the pipeline's
// owner thread), with the hand-over through a queued call.
class NeuralSuppressor
{
public:
    virtual ~NeuralSuppressor() = default;

    virtual NoiseMode mode() const = 0;
    // The model loaded and met its contract.
    virtual bool isReady() const = 0;
    // The model carries the mark of the project's generator: a stand-in of the right shape
    // that passes audio through, so it suppresses nothing.
    virtual bool isPassThrough() const = 0;
    // Denoises one frame in place; unchanged while not ready and after a failed run.
    virtual void process(qint16 *samples, int count) = 0;
    // Back to the state right after loading (zero recurrent state, empty queues), for a new
    // capture session; allocates nothing.
    virtual void reset() = 0;
};

// Loads the suppressor of a neural mode from the models folder, or from `modelPath` when given,
// on the calling thread. Null for the other modes and in builds without the inference runtime;
// a missing or broken model gives a suppressor that is not ready (the failure is logged once).
std::unique_ptr<NeuralSuppressor> loadNeuralSuppressor(NoiseMode mode, int frameSize,
                                                       const QString &modelPath = QString());
