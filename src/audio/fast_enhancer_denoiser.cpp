#include "audio/fast_enhancer_denoiser.h"

#include "audio/denoise_fifo.h"

#include "audio/ort_setup.h"

#include <onnxruntime_cxx_api.h>

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <string>

namespace {
Q_LOGGING_CATEGORY(lcDenoise, "audio.denoise", QtInfoMsg)

// "prefix" followed by one or more decimal digits: the index, else -1.
long long indexAfter(const std::string &name, const std::string &prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    long long value = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > 1'000'000'000)
            return -1;
    }
    return value;
}

} // namespace

struct FastEnhancerDenoiser::Impl
{
    QString modelPath;
    std::unique_ptr<Ort::Session> session;
    bool loadFailed = false;
    bool runFailed = false;   // a run failed: logged once, frames pass unchanged from then on
    bool passThrough = false; // the model carries the stand-in mark
    int frameSize = 0;
    int hop = 0;
    std::vector<std::string> inputNames;
    std::vector<const char *> inputNamePtrs;
    std::vector<std::string> outputNames;
    std::vector<const char *> outputNamePtrs;
    std::vector<Ort::Value> inputValues;
    std::vector<float> inputFifo;
    std::vector<float> outputFifo;
};

FastEnhancerDenoiser::FastEnhancerDenoiser(QString modelPath)
    : d(std::make_unique<Impl>())
{
    d->modelPath =
        modelPath.isEmpty() ? QDir(modelsDir()).filePath(QStringLiteral("fastenhancer.onnx")) : std::move(modelPath);
}

FastEnhancerDenoiser::~FastEnhancerDenoiser() = default;

int FastEnhancerDenoiser::hop() const
{
    return d->hop;
}
int FastEnhancerDenoiser::stateTensorCount() const
{
    return d->session ? int(d->inputValues.size()) - 1 : 0;
}
int FastEnhancerDenoiser::pendingInput() const
{
    return int(d->inputFifo.size());
}

bool FastEnhancerDenoiser::isReady() const
{
    return d->session && !d->runFailed;
}

bool FastEnhancerDenoiser::isPassThrough() const
{
    return d->session && d->passThrough;
}

void FastEnhancerDenoiser::reset()
{
    if (!d->session)
        return;
    for (Ort::Value &value : d->inputValues)
        std::fill_n(value.GetTensorMutableData<float>(), value.GetTensorTypeAndShapeInfo().GetElementCount(), 0.0f);
    d->inputFifo.clear();
    d->outputFifo.assign(std::size_t(d->frameSize), 0.0f);
}

bool FastEnhancerDenoiser::ensureLoaded(int frameSize)
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
        qCCritical(lcDenoise).noquote() << "fastenhancer session create failed:" << d->modelPath << error;
        return false;
    }

    try {
        Ort::Session &s = *d->session;
        Ort::AllocatorWithDefaultOptions allocator;
        bool haveWav = false;
        std::size_t wavIndex = 0;
        struct StateInput
        {
            long long index;
            std::size_t modelIndex;
            std::string name;
            bool operator<(const StateInput &o) const { return index < o.index; }
        };
        std::vector<StateInput> stateInputs;
        for (std::size_t i = 0; i < s.GetInputCount(); ++i) {
            const std::string name = s.GetInputNameAllocated(i, allocator).get();
            if (name == "wav_in") {
                haveWav = true;
                wavIndex = i;
                continue;
            }
            const long long index = indexAfter(name, "cache_in_");
            if (index < 0)
                throw std::runtime_error("unexpected model input: " + name);
            stateInputs.push_back({index, i, name});
        }
        if (!haveWav)
            throw std::runtime_error("model has no wav_in input");
        std::sort(stateInputs.begin(), stateInputs.end());

        std::string audioOutput;
        bool haveAudio = false;
        std::vector<std::pair<long long, std::string>> stateOutputs;
        for (std::size_t i = 0; i < s.GetOutputCount(); ++i) {
            const std::string name = s.GetOutputNameAllocated(i, allocator).get();
            const long long index = indexAfter(name, "cache_out_");
            if (index >= 0) {
                stateOutputs.emplace_back(index, name);
            } else if (!haveAudio) {
                haveAudio = true;
                audioOutput = name;
            } else {
                throw std::runtime_error("unexpected model output: " + name);
            }
        }
        std::sort(stateOutputs.begin(), stateOutputs.end());
        if (!haveAudio || stateOutputs.size() != stateInputs.size())
            throw std::runtime_error("model outputs do not pair with inputs");
        for (std::size_t i = 0; i < stateInputs.size(); ++i)
            if (stateInputs[i].index != stateOutputs[i].first)
                throw std::runtime_error("cache index mismatch between inputs and outputs");

        const std::vector<int64_t> wavShape = s.GetInputTypeInfo(wavIndex).GetTensorTypeAndShapeInfo().GetShape();
        if (wavShape.size() != 2 || wavShape[0] != 1 || wavShape[1] < 1)
            throw std::runtime_error("wav_in shape is not (1, hop)");
        const int hop = int(wavShape[1]);

        // The model's own names: an index written with leading zeros ("cache_in_07") must be
        // fed under that name, or every run would fail.
        std::vector<std::string> inputNames{"wav_in"};
        for (const StateInput &in : stateInputs)
            inputNames.push_back(in.name);
        std::vector<std::string> outputNames{audioOutput};
        for (const auto &[index, name] : stateOutputs)
            outputNames.push_back(name);

        std::vector<Ort::Value> values;
        const std::vector<int64_t> wavDims{1, hop};
        values.push_back(Ort::Value::CreateTensor<float>(allocator, wavDims.data(), wavDims.size()));
        std::fill_n(values.back().GetTensorMutableData<float>(), hop, 0.0f);
        for (const StateInput &in : stateInputs) {
            const long long index = in.index;
            const std::vector<int64_t> shape = s.GetInputTypeInfo(in.modelIndex).GetTensorTypeAndShapeInfo().GetShape();
            std::size_t count = 1;
            for (int64_t dim : shape) {
                if (dim < 1)
                    throw std::runtime_error("cache_in_" + std::to_string(index) + " has non-static shape");
                count *= std::size_t(dim);
            }
            values.push_back(Ort::Value::CreateTensor<float>(allocator, shape.data(), shape.size()));
            std::fill_n(values.back().GetTensorMutableData<float>(), count, 0.0f);
        }

        d->hop = hop;
        d->inputNames = std::move(inputNames);
        d->outputNames = std::move(outputNames);
        d->inputNamePtrs.clear();
        for (const auto &n : d->inputNames)
            d->inputNamePtrs.push_back(n.c_str());
        d->outputNamePtrs.clear();
        for (const auto &n : d->outputNames)
            d->outputNamePtrs.push_back(n.c_str());
        d->inputValues = std::move(values);
    } catch (const std::exception &e) {
        d->session.reset();
        d->loadFailed = true;
        qCCritical(lcDenoise).noquote() << "fastenhancer model contract check failed:" << e.what();
        return false;
    }

    d->frameSize = std::max(frameSize, 0);
    d->inputFifo.clear();
    d->outputFifo.assign(std::size_t(d->frameSize), 0.0f);
    // Room for what one frame can add before it is drained, so steady runs never reallocate.
    d->inputFifo.reserve(std::size_t(d->hop + d->frameSize));
    d->outputFifo.reserve(std::size_t(d->hop + 2 * d->frameSize));
    d->passThrough = hasPassThroughMark(*d->session);
    if (d->passThrough)
        qCWarning(lcDenoise).noquote() << "fastenhancer model is a pass-through stand-in, webrtc noise suppression runs in "
                                          "its place:"
                                       << d->modelPath;
    qCInfo(lcDenoise).noquote().nospace()
        << "fastenhancer loaded, hop=" << d->hop << " cache_tensors=" << d->inputValues.size() - 1
        << " load_ms=" << timer.elapsed();
    return true;
}

bool FastEnhancerDenoiser::runHop()
{
    try {
        float *wav = d->inputValues[0].GetTensorMutableData<float>();
        std::copy_n(d->inputFifo.begin(), d->hop, wav);
        std::vector<Ort::Value> outputs =
            d->session->Run(Ort::RunOptions{nullptr}, d->inputNamePtrs.data(), d->inputValues.data(),
                            d->inputValues.size(), d->outputNamePtrs.data(), d->outputNamePtrs.size());
        const auto audioInfo = outputs[0].GetTensorTypeAndShapeInfo();
        if (audioInfo.GetElementCount() < std::size_t(d->hop))
            throw std::runtime_error("audio output holds fewer than hop values");
        const float *audio = outputs[0].GetTensorData<float>();
        d->outputFifo.insert(d->outputFifo.end(), audio, audio + d->hop);
        for (std::size_t i = 1; i < outputs.size(); ++i)
            d->inputValues[i] = std::move(outputs[i]);
        d->inputFifo.erase(d->inputFifo.begin(), d->inputFifo.begin() + d->hop);
        return true;
    } catch (const std::exception &e) {
        // Logged once: from now on the frames pass unchanged, instead of a failing run and a
        // critical line every 10 ms.
        if (!d->runFailed)
            qCCritical(lcDenoise).noquote() << "fastenhancer inference failed:" << e.what();
        d->runFailed = true;
        return false;
    }
}

void FastEnhancerDenoiser::process(qint16 *samples, int count)
{
    if (!samples || count <= 0 || !ensureLoaded(count) || d->runFailed)
        return;
    denoise::appendSamples(d->inputFifo, samples, count);
    while (d->inputFifo.size() >= std::size_t(d->hop)) {
        if (!runHop()) {
            denoise::dropBacklog(d->inputFifo, std::size_t(d->hop));
            return;
        }
    }
    denoise::drainOutput(d->outputFifo, samples, count);
}
