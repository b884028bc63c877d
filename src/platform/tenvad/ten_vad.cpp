#include "ten_vad.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

#include <array>
#include <memory>
#include <new>
#include <vector>

namespace {
constexpr int kRate = 16000;
constexpr std::size_t kBlock = kRate / 100; // the detector's 10 ms block
constexpr std::size_t kWindow = 3;          // decisions behind one probability

struct Detector
{
    std::unique_ptr<webrtc::AudioProcessing> apm;
    std::size_t hop = 0;
    float threshold = 0.5f;
    std::vector<int16_t> pending;
    std::array<float, kBlock> block{};
    std::array<bool, kWindow> decisions{};
    std::size_t decided = 0; // decisions made so far (the window holds min(decided, kWindow))
};

bool judgeBlock(Detector &d, const int16_t *samples)
{
    for (std::size_t i = 0; i < kBlock; ++i)
        d.block[i] = samples[i] / 32768.0f;
    float *channels[1] = {d.block.data()};
    const webrtc::StreamConfig config(kRate, 1, false);
    if (d.apm->ProcessStream(channels, config, config, channels) != webrtc::AudioProcessing::kNoError)
        return false;
    d.decisions[d.decided % kWindow] = d.apm->voice_detection()->stream_has_voice();
    ++d.decided;
    return true;
}
} // namespace

extern "C" int ten_vad_create(void **handle, size_t hop_size, float threshold)
{
    if (!handle || hop_size == 0 || hop_size > static_cast<size_t>(kRate) || !(threshold >= 0.0f) || threshold > 1.0f)
        return -1;
    *handle = nullptr;
    auto *d = new (std::nothrow) Detector;
    if (!d)
        return -2;
    webrtc::Config config;
    d->apm.reset(webrtc::AudioProcessing::Create(config));
    if (!d->apm || d->apm->voice_detection()->set_frame_size_ms(10) != webrtc::AudioProcessing::kNoError
        || d->apm->voice_detection()->set_likelihood(webrtc::VoiceDetection::kModerateLikelihood)
               != webrtc::AudioProcessing::kNoError
        || d->apm->voice_detection()->Enable(true) != webrtc::AudioProcessing::kNoError) {
        delete d;
        return -3;
    }
    d->hop = hop_size;
    d->threshold = threshold;
    d->pending.reserve(hop_size + kBlock);
    *handle = d;
    return 0;
}

extern "C" int ten_vad_process(void *handle, const int16_t *samples, size_t count, float *probability, int *flag)
{
    auto *d = static_cast<Detector *>(handle);
    if (!d || !samples || !probability || !flag || count != d->hop)
        return -1;
    d->pending.insert(d->pending.end(), samples, samples + count);
    std::size_t used = 0;
    while (d->pending.size() - used >= kBlock) {
        if (!judgeBlock(*d, d->pending.data() + used))
            return -4;
        used += kBlock;
    }
    d->pending.erase(d->pending.begin(), d->pending.begin() + static_cast<std::ptrdiff_t>(used));

    const std::size_t window = d->decided < kWindow ? d->decided : kWindow;
    std::size_t voiced = 0;
    for (std::size_t i = 0; i < window; ++i)
        voiced += d->decisions[i] ? 1 : 0;
    *probability = window == 0 ? 0.0f : static_cast<float>(voiced) / static_cast<float>(window);
    *flag = window > 0 && *probability >= d->threshold ? 1 : 0;
    return 0;
}

extern "C" int ten_vad_destroy(void **handle)
{
    if (!handle)
        return -1;
    delete static_cast<Detector *>(*handle);
    *handle = nullptr;
    return 0;
}
