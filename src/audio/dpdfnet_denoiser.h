#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <string>
#include <vector>

// Splits at every "," and reads each part as a float (leading white space allowed, anything
// after the number ignored). Throws std::runtime_error "invalid stof argument" for a part
// without a number and "stof argument out of range" for one outside the float range. An
// empty text gives an empty list; a trailing comma adds nothing.
std::vector<float> parseFloatList(const std::string &text);

// The noise suppressor of the mode "dpdfnet": a streaming spectral model run inside a
// short-time Fourier transform (sine window, 50 % overlap). The window, the hop and the state
// layout come from the model's input shapes and metadata. A model that is missing or breaks
// that contract leaves the frames as they are, and is not tried again by this object. A run
// that fails is logged once; the frames then pass unchanged.
//
// Threads: built on any thread (a worker loads it before capture starts), then used and
// destroyed by one thread at a time.
class DpdfnetDenoiser
{
public:
    // `modelPath` empty: "dpdfnet.onnx" in the models folder.
    explicit DpdfnetDenoiser(QString modelPath = {});
    ~DpdfnetDenoiser();

    bool ensureLoaded(int frameSize);
    // Loaded, and no run has failed since.
    bool isReady() const;
    // The model carries the generator's stand-in mark (it passes audio through).
    bool isPassThrough() const;
    // Back to the state right after loading: zero recurrent state, empty queues, the output
    // primed with one frame of silence. Allocates nothing.
    void reset();
    void process(qint16 *samples, int count);

    int windowLength() const;
    int hop() const;
    int freqBins() const;
    const std::vector<float> &window() const;
    // The state tensor as it will be fed to the next run.
    std::vector<float> state() const;
    int pendingInput() const;

private:
    bool runHop();

    struct Impl;
    std::unique_ptr<Impl> d;
};
