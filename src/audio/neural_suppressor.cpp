#include "audio/neural_suppressor.h"

#ifdef KESTOVA_HAVE_ORT
#include "audio/dpdfnet_denoiser.h"
#include "audio/fast_enhancer_denoiser.h"
#endif

namespace {
#ifdef KESTOVA_HAVE_ORT
template<typename Denoiser>
class LoadedSuppressor final : public NeuralSuppressor
{
public:
    LoadedSuppressor(NoiseMode mode_, const QString &modelPath, int frameSize)
        : suppressorMode(mode_)
        , denoiser(modelPath)
    {
        denoiser.ensureLoaded(frameSize);
    }
    NoiseMode mode() const override { return suppressorMode; }
    bool isReady() const override { return denoiser.isReady(); }
    bool isPassThrough() const override { return denoiser.isPassThrough(); }
    void process(qint16 *samples, int count) override
    {
        if (denoiser.isReady())
            denoiser.process(samples, count);
    }
    void reset() override { denoiser.reset(); }

private:
    NoiseMode suppressorMode;
    Denoiser denoiser;
};
#endif
} // namespace

std::unique_ptr<NeuralSuppressor> loadNeuralSuppressor(NoiseMode mode, int frameSize, const QString &modelPath)
{
#ifdef KESTOVA_HAVE_ORT
    if (mode == NoiseMode::FastEnhancer)
        return std::make_unique<LoadedSuppressor<FastEnhancerDenoiser>>(mode, modelPath, frameSize);
    if (mode == NoiseMode::DpdfNet)
        return std::make_unique<LoadedSuppressor<DpdfnetDenoiser>>(mode, modelPath, frameSize);
#else
    Q_UNUSED(frameSize)
    Q_UNUSED(modelPath)
#endif
    Q_UNUSED(mode)
    return nullptr;
}
