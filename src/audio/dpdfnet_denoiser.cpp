#include "audio/dpdfnet_denoiser.h"

#include "audio/denoise_fifo.h"

#include "audio/ort_setup.h"

#include <onnxruntime_cxx_api.h>

#include <kissfft/kiss_fftr.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <stdexcept>

namespace {
Q_LOGGING_CATEGORY(lcDenoise, "audio.denoise", QtInfoMsg)

long long parseInteger(const std::string &text)
{
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin)
        throw std::runtime_error("invalid stoll argument");
    if (errno == ERANGE)
        throw std::runtime_error("stoll argument out of range");
    return value;
}

struct FftDeleter
{
    void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};
using Fft = std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, FftDeleter>;
} // namespace

std::vector<float> parseFloatList(const std::string &text)
{
    std::vector<float> values;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const char *begin = part.c_str();
        char *end = nullptr;
        errno = 0;
        const float value = std::strtof(begin, &end);
        if (end == begin)
            throw std::runtime_error("invalid stof argument");
        if (errno == ERANGE)
            throw std::runtime_error("stof argument out of range");
        values.push_back(value);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return values;
}

struct DpdfnetDenoiser::Impl
{
    QString modelPath;
    std::unique_ptr<Ort::Session> session;
    bool loadFailed = false;
    bool runFailed = false;   // a run failed: logged once, frames pass unchanged from then on
    bool passThrough = false; // the model carries the stand-in mark
    int frameSize = 0;
    int win = 0;
    int hop = 0;
    int freqBins = 0;
    std::string input0, input1, output0, output1;
    std::vector<Ort::Value> inputValues;
    std::vector<float> initialState; // the state tensor as loading filled it
    std::vector<float> window;
    Fft forward;
    Fft inverse;
    std::vector<kiss_fft_cpx> spectrum;
    std::vector<float> timeFrame;
    std::vector<float> inverseOut;
    std::vector<float> overlapAdd;
    std::vector<float> inputFifo;
    std::vector<float> outputFifo;
};

DpdfnetDenoiser::DpdfnetDenoiser(QString modelPath)
    : d(std::make_unique<Impl>())
{
    d->modelPath =
        modelPath.isEmpty() ? QDir(modelsDir()).filePath(QStringLiteral("dpdfnet.onnx")) : std::move(modelPath);
}

DpdfnetDenoiser::~DpdfnetDenoiser() = default;

int DpdfnetDenoiser::windowLength() const
{
    return d->win;
}
int DpdfnetDenoiser::hop() const
{
    return d->hop;
}
int DpdfnetDenoiser::freqBins() const
{
    return d->freqBins;
}
const std::vector<float> &DpdfnetDenoiser::window() const
{
    return d->window;
}
int DpdfnetDenoiser::pendingInput() const
{
    return int(d->inputFifo.size());
}

std::vector<float> DpdfnetDenoiser::state() const
{
    if (d->inputValues.size() < 2)
        return {};
    const float *p = d->inputValues[1].GetTensorData<float>();
    return std::vector<float>(p, p + d->inputValues[1].GetTensorTypeAndShapeInfo().GetElementCount());
}

bool DpdfnetDenoiser::isReady() const
{
    return d->session && !d->runFailed;
}

bool DpdfnetDenoiser::isPassThrough() const
{
    return d->session && d->passThrough;
}

void DpdfnetDenoiser::reset()
{
    if (!d->session || d->inputValues.size() < 2)
        return;
    Ort::Value &spec = d->inputValues[0];
    std::fill_n(spec.GetTensorMutableData<float>(), spec.GetTensorTypeAndShapeInfo().GetElementCount(), 0.0f);
    Ort::Value &state = d->inputValues[1];
    const std::size_t count = state.GetTensorTypeAndShapeInfo().GetElementCount();
    if (count == d->initialState.size())
        std::copy(d->initialState.begin(), d->initialState.end(), state.GetTensorMutableData<float>());
    std::fill(d->overlapAdd.begin(), d->overlapAdd.end(), 0.0f);
    d->inputFifo.clear();
    d->outputFifo.assign(std::size_t(d->frameSize), 0.0f);
}

bool DpdfnetDenoiser::ensureLoaded(int frameSize)
{
    if (d->session)
        return true;
    if (d->loadFailed)
        return false;

    QElapsedTimer timer;
    timer.start();
    QString error;
    d->session = createOrtSession(d->modelPath, &error);
    if (!d->session) {
        d->loadFailed = true;
        qCCritical(lcDenoise).noquote() << "dpdfnet session create failed:" << d->modelPath << error;
        return false;
    }

    try {
        Ort::Session &s = *d->session;
        Ort::AllocatorWithDefaultOptions allocator;
        if (s.GetInputCount() < 2 || s.GetOutputCount() < 2)
            throw std::runtime_error("expected streaming signature with 2 inputs and 2 outputs");
        d->input0 = s.GetInputNameAllocated(0, allocator).get();
        d->input1 = s.GetInputNameAllocated(1, allocator).get();
        d->output0 = s.GetOutputNameAllocated(0, allocator).get();
        d->output1 = s.GetOutputNameAllocated(1, allocator).get();

        const std::vector<int64_t> specShape = s.GetInputTypeInfo(0).GetTensorTypeAndShapeInfo().GetShape();
        if (specShape.size() < 2 || specShape[specShape.size() - 2] < 2)
            throw std::runtime_error("spec input shape has no usable freq_bins dim");
        const int freqBins = int(specShape[specShape.size() - 2]);
        const int win = 2 * freqBins - 2;
        const int hop = win / 2;

        const std::vector<int64_t> stateShape = s.GetInputTypeInfo(1).GetTensorTypeAndShapeInfo().GetShape();
        long long stateCount = 1;
        for (int64_t dim : stateShape) {
            if (dim < 1)
                throw std::runtime_error("state input has non-static shape");
            stateCount *= dim;
        }

        Ort::ModelMetadata metadata = s.GetModelMetadata();
        auto text = [&](const char *key) {
            Ort::AllocatedStringPtr value = metadata.LookupCustomMetadataMapAllocated(key, allocator);
            if (!value)
                throw std::runtime_error(std::string("missing model metadata key: ") + key);
            return std::string(value.get());
        };
        const long long stateSize = parseInteger(text("state_size"));
        const long long erbSize = parseInteger(text("erb_norm_state_size"));
        const long long specSize = parseInteger(text("spec_norm_state_size"));
        const std::vector<float> erbInit = parseFloatList(text("erb_norm_init"));
        const std::vector<float> specInit = parseFloatList(text("spec_norm_init"));
        if (stateCount != stateSize || erbSize < 0 || specSize < 0 || (long long)erbInit.size() != erbSize
            || (long long)specInit.size() != specSize || stateSize < erbSize + specSize)
            throw std::runtime_error("state metadata inconsistent with model shape");

        std::vector<Ort::Value> values;
        const std::vector<int64_t> specDims{1, 1, freqBins, 2};
        values.push_back(Ort::Value::CreateTensor<float>(allocator, specDims.data(), specDims.size()));
        std::fill_n(values.back().GetTensorMutableData<float>(), std::size_t(freqBins) * 2, 0.0f);
        values.push_back(Ort::Value::CreateTensor<float>(allocator, stateShape.data(), stateShape.size()));
        float *state = values.back().GetTensorMutableData<float>();
        std::fill_n(state, std::size_t(stateCount), 0.0f);
        std::copy(erbInit.begin(), erbInit.end(), state);
        std::copy(specInit.begin(), specInit.end(), state + erbInit.size());
        d->initialState.assign(state, state + stateCount);

        Fft forward(kiss_fftr_alloc(win, 0, nullptr, nullptr));
        Fft inverse(kiss_fftr_alloc(win, 1, nullptr, nullptr));
        if (!forward || !inverse)
            throw std::runtime_error("kiss_fftr_alloc failed (win_len must be even)");

        d->freqBins = freqBins;
        d->win = win;
        d->hop = hop;
        d->inputValues = std::move(values);
        d->forward = std::move(forward);
        d->inverse = std::move(inverse);
    } catch (const std::exception &e) {
        d->session.reset();
        d->loadFailed = true;
        qCCritical(lcDenoise).noquote() << "dpdfnet model contract check failed:" << e.what();
        return false;
    }

    d->window.resize(std::size_t(d->win));
    for (int i = 0; i < d->win; ++i) {
        const double s = std::sin(M_PI * (i + 0.5) / d->win);
        d->window[std::size_t(i)] = float(std::sin(M_PI / 2.0 * s * s));
    }
    d->spectrum.assign(std::size_t(d->freqBins), kiss_fft_cpx{0, 0});
    d->timeFrame.assign(std::size_t(d->win), 0.0f);
    d->inverseOut.assign(std::size_t(d->win), 0.0f);
    d->overlapAdd.assign(std::size_t(d->win), 0.0f);
    d->frameSize = std::max(frameSize, 0);
    d->inputFifo.clear();
    d->outputFifo.assign(std::size_t(d->frameSize), 0.0f);
    // Room for what one frame can add before it is drained, so steady runs never reallocate.
    d->inputFifo.reserve(std::size_t(d->win + d->frameSize));
    d->outputFifo.reserve(std::size_t(d->win + 2 * d->frameSize));
    d->passThrough = hasPassThroughMark(*d->session);
    if (d->passThrough)
        qCWarning(lcDenoise).noquote() << "dpdfnet model is a pass-through stand-in, webrtc noise suppression runs in "
                                          "its place:"
                                       << d->modelPath;
    qCInfo(lcDenoise).noquote().nospace() << "dpdfnet loaded, win=" << d->win << " hop=" << d->hop
                                          << " freq_bins=" << d->freqBins << " load_ms=" << timer.elapsed();
    return true;
}

bool DpdfnetDenoiser::runHop()
{
    try {
        const std::size_t win = std::size_t(d->win);
        const std::size_t hop = std::size_t(d->hop);
        const std::size_t bins = std::size_t(d->freqBins);
        for (std::size_t i = 0; i < win; ++i)
            d->timeFrame[i] = d->window[i] * d->inputFifo[i];
        // kiss_fftr's bin count (win / 2 + 1) equals freq_bins by construction.
        kiss_fftr(d->forward.get(), d->timeFrame.data(), d->spectrum.data());
        float *spec = d->inputValues[0].GetTensorMutableData<float>();
        for (std::size_t k = 0; k < bins; ++k) {
            spec[2 * k] = d->spectrum[k].r;
            spec[2 * k + 1] = d->spectrum[k].i;
        }
        const char *inputNames[] = {d->input0.c_str(), d->input1.c_str()};
        const char *outputNames[] = {d->output0.c_str(), d->output1.c_str()};
        std::vector<Ort::Value> outputs =
            d->session->Run(Ort::RunOptions{nullptr}, inputNames, d->inputValues.data(), 2, outputNames, 2);
        if (outputs[0].GetTensorTypeAndShapeInfo().GetElementCount() < bins * 2)
            throw std::runtime_error("spectrum output holds fewer than freq_bins x 2 values");
        const float *enhanced = outputs[0].GetTensorData<float>();
        for (std::size_t k = 0; k < bins; ++k)
            d->spectrum[k] = kiss_fft_cpx{enhanced[2 * k], enhanced[2 * k + 1]};
        kiss_fftri(d->inverse.get(), d->spectrum.data(), d->inverseOut.data());
        const float scale = 1.0f / float(win);
        for (std::size_t i = 0; i < win; ++i)
            d->overlapAdd[i] += scale * d->inverseOut[i] * d->window[i];
        d->outputFifo.insert(d->outputFifo.end(), d->overlapAdd.begin(), d->overlapAdd.begin() + std::ptrdiff_t(hop));
        std::copy(d->overlapAdd.begin() + std::ptrdiff_t(hop), d->overlapAdd.end(), d->overlapAdd.begin());
        std::fill(d->overlapAdd.end() - std::ptrdiff_t(hop), d->overlapAdd.end(), 0.0f);
        d->inputValues[1] = std::move(outputs[1]);
        d->inputFifo.erase(d->inputFifo.begin(), d->inputFifo.begin() + std::ptrdiff_t(hop));
        return true;
    } catch (const std::exception &e) {
        // Logged once: from now on the frames pass unchanged, instead of a failing run and a
        // critical line every 10 ms.
        if (!d->runFailed)
            qCCritical(lcDenoise).noquote() << "dpdfnet inference failed:" << e.what();
        d->runFailed = true;
        return false;
    }
}

void DpdfnetDenoiser::process(qint16 *samples, int count)
{
    if (!samples || count <= 0 || !ensureLoaded(count) || d->runFailed)
        return;
    denoise::appendSamples(d->inputFifo, samples, count);
    while (d->inputFifo.size() >= std::size_t(d->win)) {
        if (!runHop()) {
            denoise::dropBacklog(d->inputFifo, std::size_t(d->win));
            return;
        }
    }
    denoise::drainOutput(d->outputFifo, samples, count);
}
