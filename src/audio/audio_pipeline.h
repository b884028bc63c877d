#pragma once

#include "audio/noise_mode.h"

class NeuralSuppressor;

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Brings any interleaved 16-bit audio to mono at `targetRate`: channels are averaged, then the
// signal is resampled linearly so that the first and last input samples land on the first
// and last output samples. Empty for null or non-positive input. Any thread.
std::vector<qint16> downmixResample(const qint16 *samples, int count, int channels, int sourceRate, int targetRate);

// The processing stage of the microphone path, on 10 ms frames in place, in two calls:
// - processNearEnd(): the echo module (echo cancellation against the far-end reference,
//   automatic gain, high-pass filter), run on the raw frame first, while any of the three is on;
// - process(): the noise suppressor chosen by the noise mode, the input gain with a soft
//   limiter, and a peak meter.
// "webrtc" runs WebRTC's noise suppressor; the neural modes run their model, or WebRTC's
// suppressor in its place when the model is the generator's pass-through stand-in.
//
// Threads:
// - The owner thread (the one that built the pipeline: "audio-capture", or the loop test's
//   worker) calls processNearEnd(), process() and every setter; debug builds assert it. The
//   suppressors, the volume, the mode, the limiter envelope and the echo module's building live
//   on that thread only.
// - The playback render thread (one thread) calls pushRenderReference(). The echo module and
//   what the render side keeps with it (its backlog and chunk buffer) are swapped in whole
//   through a shared_ptr slot whenever an option changes: the mutex `echoMutex` guards only
//   that slot, the owner holds it for the swap of one pointer and the render thread only tries
//   it. The capture side's frames use the owner's own reference and take no lock; the owner
//   frees replaced modules once the render side has let go.
// - The GUI thread reads peakLevel() for the input meter.
// - Atomic: the enabled flag, the peak level and the last processing time.
// Other threads reach a pipeline only through an AudioPipelineSlot, whose shared ownership
// keeps a pipeline alive while any of them still uses it.
class AudioPipeline : public QObject
{
    Q_OBJECT
public:
    AudioPipeline(int sampleRate, int channels, QObject *parent = nullptr);
    ~AudioPipeline() override;

    // Owner thread. Runs one raw 10 ms frame through the echo module in place (WebRTC's
    // processStream) while echo cancellation, automatic gain or the high-pass filter is on and
    // the pipeline is enabled; true when it did. Other frame sizes are left alone.
    bool processNearEnd(qint16 *samples, int count);

    // Owner thread. Processes `count` samples in place; returns `count`, or 0 (frame untouched)
    // for a null pointer or a count below 1.
    int process(qint16 *samples, int count);

    // Render thread. Feeds far-end audio (interleaved when channels > 1) to the echo module in
    // chunks of 10 ms at the pipeline's rate, while echo cancellation is on; a remainder waits
    // for the next push.
    void pushRenderReference(const qint16 *samples, int count, int sampleRate, int channels);

    // Owner thread.
    void setNoiseMode(NoiseMode mode);
    void setVolume(double gain);
    void setAecEnabled(bool enabled);
    void setAgcEnabled(bool enabled);
    void setHpfEnabled(bool enabled);
    void setEnabled(bool enabled);
    // Owner thread. Whether the pipeline loads the model of a neural mode itself, on the first
    // frame in that mode (true at start; the loop test does so). The capture engine switches it
    // off and hands in suppressors loaded on a worker thread instead.
    void setLoadsModelsItself(bool loads);
    // Owner thread. Hands in a loaded suppressor; ignored unless it is of the current mode.
    // It is reset for this pipeline's stream.
    void setNeuralSuppressor(std::shared_ptr<NeuralSuppressor> suppressor);

    // Any thread: the peak meter (linear 0..1, falling 20 dB per second of silence).
    float peakLevel() const;
    // Any thread: the suppressor time of the last process() call in microseconds.
    double lastProcessUs() const;

    // Owner thread: the settings as they now stand.
    double volume() const;
    NoiseMode noiseMode() const;
    // Owner thread: what the suppressor stage runs now.
    enum class Suppressor { None, WebRtc, Neural };
    Suppressor activeSuppressor() const;

    // Any thread: the state of the echo path, for diagnostics.
    struct EchoPathState
    {
        bool moduleExists = false;
        bool echoCancellation = false; // the current module cancels echo (takes the reference)
        int modulesCreated = 0;        // echo modules built over the pipeline's life
        int chunksFed = 0;             // far-end 10 ms chunks handed to the current module
        int backlogSamples = 0;        // far-end samples waiting for a whole chunk
        int nearFramesProcessed = 0;   // near-end frames the current module processed
    };
    EchoPathState echoPathState() const;

private:
    struct State;
    std::unique_ptr<State> d;
};

// The hand-off cell through which other threads reach the current capture pipeline: the
// playback render thread for the echo reference and the GUI thread for the input meter. The
// capture thread stores the pipeline it starts and null before it lets the pipeline go; a
// reader holds its own reference for as long as it uses the pipeline, so the pipeline is
// destroyed only once the last reader is done. Any thread: every operation holds the slot's
// own mutex only for the copy of one pointer, so no thread ever waits on another's work.
class AudioPipelineSlot
{
public:
    std::shared_ptr<AudioPipeline> load() const
    {
        std::lock_guard lock(mutex);
        return cell;
    }
    // For the render thread, which never waits: null also while another thread holds the slot.
    std::shared_ptr<AudioPipeline> tryLoad() const
    {
        std::unique_lock lock(mutex, std::try_to_lock);
        return lock.owns_lock() ? cell : nullptr;
    }
    void store(std::shared_ptr<AudioPipeline> pipeline)
    {
        std::shared_ptr<AudioPipeline> previous;
        {
            std::lock_guard lock(mutex);
            previous = std::exchange(cell, std::move(pipeline));
        }
        // A pipeline released here is destroyed outside the lock.
    }

private:
    mutable std::mutex mutex;
    std::shared_ptr<AudioPipeline> cell; // guarded by mutex
};
