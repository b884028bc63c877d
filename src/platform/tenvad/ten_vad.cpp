#include "ten_vad.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>

#if defined(TEN_VAD_WITH_ORT)
#include <onnxruntime_c_api.h>
#endif

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {
Q_LOGGING_CATEGORY(lcVad, "audio.vad", QtInfoMsg)

constexpr int kRate = 16000;

// --- WebRTC's voice detector, used when the model cannot run -----------------------------------
constexpr std::size_t kBlock = kRate / 100; // its 10 ms block
constexpr std::size_t kVotes = 3;           // decisions behind one probability
// Its noise estimate starts from nothing, so a fresh instance calls almost any sound voiced for
// about a tenth of a second; the first 200 ms of decisions are not reported.
constexpr std::size_t kWebrtcHoldBack = 20;

struct WebrtcDetector
{
    std::unique_ptr<webrtc::AudioProcessing> apm;
    std::array<float, kBlock> block{};
    std::array<bool, kVotes> decisions{};
    std::size_t decided = 0; // decisions made so far

    bool start()
    {
        webrtc::Config config;
        apm.reset(webrtc::AudioProcessing::Create(config));
        return apm && apm->voice_detection()->set_frame_size_ms(10) == webrtc::AudioProcessing::kNoError
            && apm->voice_detection()->set_likelihood(webrtc::VoiceDetection::kModerateLikelihood)
                   == webrtc::AudioProcessing::kNoError
            && apm->voice_detection()->Enable(true) == webrtc::AudioProcessing::kNoError;
    }

    bool judge(const int16_t *samples)
    {
        for (std::size_t i = 0; i < kBlock; ++i)
            block[i] = samples[i] / 32768.0f;
        float *channels[1] = {block.data()};
        const webrtc::StreamConfig config(kRate, 1, false);
        if (apm->ProcessStream(channels, config, config, channels) != webrtc::AudioProcessing::kNoError)
            return false;
        decisions[decided % kVotes] = apm->voice_detection()->stream_has_voice();
        ++decided;
        return true;
    }

    // The share of voiced blocks among the last three; 0 while held back.
    float probability() const
    {
        if (decided < kWebrtcHoldBack)
            return 0.0f;
        std::size_t voiced = 0;
        for (bool v : decisions)
            voiced += v ? 1 : 0;
        return static_cast<float>(voiced) / static_cast<float>(kVotes);
    }
};

// --- The Silero VAD model ------------------------------------------------------------------------
// Its 16 kHz form judges windows of 512 new samples (32 ms) preceded by the last 64 samples of
// the window before, and carries a recurrent state of 2 x 1 x 128 floats from window to window.
constexpr std::size_t kWindow = 512;
constexpr std::size_t kContext = 64;
constexpr std::size_t kStateSize = 2 * 128;
// From its empty initial state the model reads even faint steady noise as up to a quarter
// likely speech for its first few windows; the first five (160 ms) are not reported.
constexpr std::size_t kModelHoldBack = 5;

struct Model;

#if defined(TEN_VAD_WITH_ORT)
// The runtime's API level this code is written against.
constexpr uint32_t kOrtApiVersion = 27;

// What every instance shares: the runtime, one session (its Run is safe from several threads).
struct Model
{
    const OrtApi *api = nullptr;
    OrtEnv *env = nullptr;
    OrtSession *session = nullptr;
    OrtMemoryInfo *memory = nullptr;
};

QString takeError(const OrtApi *api, OrtStatus *status)
{
    const QString message = QString::fromUtf8(api->GetErrorMessage(status));
    api->ReleaseStatus(status);
    return message;
}

// The folder this library was loaded from.
QString libraryDir()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void *>(&ten_vad_create), &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
}

const OrtApi *openRuntime(QString *error)
{
    const QList<QByteArray> paths = QByteArray(TEN_VAD_RUNTIME_PATHS).split(':');
    for (const QByteArray &path : paths) {
        if (path.isEmpty())
            continue;
        // Kept open for the life of the process.
        void *runtime = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!runtime) {
            *error = QString::fromLocal8Bit(dlerror());
            continue;
        }
        using GetApiBase = const OrtApiBase *(*)();
        const auto getApiBase = reinterpret_cast<GetApiBase>(dlsym(runtime, "OrtGetApiBase"));
        const OrtApiBase *base = getApiBase ? getApiBase() : nullptr;
        const OrtApi *api = base ? base->GetApi(kOrtApiVersion) : nullptr;
        if (api)
            return api;
        *error = QStringLiteral("%1 does not offer api version %2").arg(QString::fromLocal8Bit(path)).arg(kOrtApiVersion);
    }
    return nullptr;
}

// Checks that the session has the model's inputs and outputs, by name and in order.
bool hasModelShape(const OrtApi *api, OrtSession *session, QString *error)
{
    OrtAllocator *allocator = nullptr;
    if (OrtStatus *s = api->GetAllocatorWithDefaultOptions(&allocator)) {
        *error = takeError(api, s);
        return false;
    }
    const auto names = [&](bool inputs, QStringList *out) {
        std::size_t count = 0;
        OrtStatus *s = inputs ? api->SessionGetInputCount(session, &count) : api->SessionGetOutputCount(session, &count);
        if (s) {
            *error = takeError(api, s);
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            char *name = nullptr;
            s = inputs ? api->SessionGetInputName(session, i, allocator, &name)
                       : api->SessionGetOutputName(session, i, allocator, &name);
            if (s) {
                *error = takeError(api, s);
                return false;
            }
            out->append(QString::fromUtf8(name));
            allocator->Free(allocator, name);
        }
        return true;
    };
    QStringList inputs;
    QStringList outputs;
    if (!names(true, &inputs) || !names(false, &outputs))
        return false;
    if (inputs != QStringList{"input", "state", "sr"} || outputs != QStringList{"output", "stateN"}) {
        *error = QStringLiteral("unexpected inputs=%1 outputs=%2").arg(inputs.join(','), outputs.join(','));
        return false;
    }
    return true;
}

Model *loadModel(QString *where, QString *error)
{
    const OrtApi *api = openRuntime(error);
    if (!api) {
        *error = QStringLiteral("onnxruntime not loadable: ") + *error;
        return nullptr;
    }
    *where = QStringLiteral("%1/models/silero_vad.onnx").arg(libraryDir());
    if (!QFileInfo::exists(*where)) {
        *error = QStringLiteral("model missing");
        return nullptr;
    }
    auto model = std::make_unique<Model>();
    model->api = api;
    OrtSessionOptions *options = nullptr;
    OrtStatus *status = api->CreateEnv(ORT_LOGGING_LEVEL_WARNING, "ten_vad", &model->env);
    if (!status)
        status = api->DisableTelemetryEvents(model->env);
    if (!status)
        status = api->CreateSessionOptions(&options);
    if (!status)
        status = api->SetIntraOpNumThreads(options, 1);
    if (!status)
        status = api->SetInterOpNumThreads(options, 1);
    if (!status)
        status = api->SetSessionExecutionMode(options, ORT_SEQUENTIAL);
    if (!status)
        status = api->SetSessionGraphOptimizationLevel(options, ORT_ENABLE_ALL);
    if (!status)
        status = api->AddSessionConfigEntry(options, "session.intra_op.allow_spinning", "0");
    const QByteArray path = QFile::encodeName(*where);
    if (!status)
        status = api->CreateSession(model->env, path.constData(), options, &model->session);
    if (!status)
        status = api->CreateCpuMemoryInfo(OrtArenaAllocator, OrtMemTypeDefault, &model->memory);
    if (options)
        api->ReleaseSessionOptions(options);
    if (status) {
        *error = takeError(api, status);
    } else if (hasModelShape(api, model->session, error)) {
        return model.release();
    }
    if (model->memory)
        api->ReleaseMemoryInfo(model->memory);
    if (model->session)
        api->ReleaseSession(model->session);
    if (model->env)
        api->ReleaseEnv(model->env);
    return nullptr;
}

// Loaded at the first instance and kept for the life of the process (also when it failed, so
// the outcome is logged once).
const Model *sharedModel()
{
    static std::once_flag once;
    static const Model *model = nullptr;
    std::call_once(once, [] {
        QString where;
        QString error;
        model = loadModel(&where, &error);
        if (model)
            qCInfo(lcVad).noquote() << "vad model loaded path=" + where;
        else
            qCWarning(lcVad).noquote() << "vad model unavailable, using the webrtc detector reason=" + error
                                              + (where.isEmpty() ? QString() : " path=" + where);
    });
    return model;
}

struct ModelDetector
{
    const Model *model = nullptr;
    std::array<float, kContext + kWindow> input{};
    std::size_t filled = 0; // new samples in the window so far
    std::array<float, kStateSize> state{};
    std::array<float, kStateSize> nextState{};
    float output = 0;
    std::size_t judged = 0; // windows judged so far
    bool runFailed = false;
    int64_t rate = kRate;
    std::array<OrtValue *, 3> inputs{};
    std::array<OrtValue *, 2> outputs{};

    ~ModelDetector()
    {
        for (OrtValue *v : inputs)
            if (v)
                model->api->ReleaseValue(v);
        for (OrtValue *v : outputs)
            if (v)
                model->api->ReleaseValue(v);
    }

    // Tensors over the detector's own buffers, made once, so that judging allocates nothing.
    bool start(const Model *m)
    {
        model = m;
        const OrtApi *api = m->api;
        const std::array<int64_t, 2> inputShape{1, static_cast<int64_t>(input.size())};
        const std::array<int64_t, 3> stateShape{2, 1, 128};
        const std::array<int64_t, 2> outputShape{1, 1};
        const auto tensor = [&](void *data, std::size_t bytes, const int64_t *shape, std::size_t dims,
                                ONNXTensorElementDataType type, OrtValue **value) {
            OrtStatus *s = api->CreateTensorWithDataAsOrtValue(m->memory, data, bytes, shape, dims, type, value);
            if (s) {
                qCWarning(lcVad).noquote() << "vad tensor not created error=" + takeError(api, s);
                return false;
            }
            return true;
        };
        constexpr auto kFloat = ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT;
        return tensor(input.data(), sizeof input, inputShape.data(), inputShape.size(), kFloat, &inputs[0])
            && tensor(state.data(), sizeof state, stateShape.data(), stateShape.size(), kFloat, &inputs[1])
            && tensor(&rate, sizeof rate, nullptr, 0, ONNX_TENSOR_ELEMENT_DATA_TYPE_INT64, &inputs[2])
            && tensor(&output, sizeof output, outputShape.data(), outputShape.size(), kFloat, &outputs[0])
            && tensor(nextState.data(), sizeof nextState, stateShape.data(), stateShape.size(), kFloat, &outputs[1]);
    }

    // Adds samples; judges every window that fills. False when the runtime fails.
    bool take(const int16_t *samples, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            input[kContext + filled++] = samples[i] / 32768.0f;
            if (filled < kWindow)
                continue;
            filled = 0;
            static const char *const inputNames[] = {"input", "state", "sr"};
            static const char *const outputNames[] = {"output", "stateN"};
            if (OrtStatus *s = model->api->Run(model->session, nullptr, inputNames, inputs.data(), inputs.size(),
                                               outputNames, outputs.size(), outputs.data())) {
                // Said once per instance: a failing run would fail again every 32 ms.
                const QString error = takeError(model->api, s);
                if (!runFailed)
                    qCWarning(lcVad).noquote() << "vad model run failed error=" + error;
                runFailed = true;
                return false;
            }
            state = nextState;
            ++judged;
            std::copy(input.end() - kContext, input.end(), input.begin());
        }
        return true;
    }
};
#endif

struct Detector
{
    std::size_t hop = 0;
    float threshold = 0.5f;
#if defined(TEN_VAD_WITH_ORT)
    std::unique_ptr<ModelDetector> model;
#endif
    WebrtcDetector webrtc;
    std::vector<int16_t> pending; // the fallback's remainder short of a block
};

const Model *modelOrNull()
{
#if defined(TEN_VAD_WITH_ORT)
    return sharedModel();
#else
    static std::once_flag once;
    std::call_once(once, [] {
        qCWarning(lcVad) << "vad model unavailable, using the webrtc detector reason=built without onnxruntime";
    });
    return nullptr;
#endif
}
} // namespace

extern "C" int ten_vad_create(void **handle, size_t hop_size, float threshold)
{
    if (!handle)
        return -1;
    *handle = nullptr;
    if (hop_size == 0 || hop_size > static_cast<size_t>(kRate) || !(threshold >= 0.0f) || threshold > 1.0f)
        return -1;
    auto d = std::unique_ptr<Detector>(new (std::nothrow) Detector);
    if (!d)
        return -2;
    d->hop = hop_size;
    d->threshold = threshold;
#if defined(TEN_VAD_WITH_ORT)
    if (const Model *model = modelOrNull()) {
        d->model = std::make_unique<ModelDetector>();
        if (!d->model->start(model))
            return -3;
        *handle = d.release();
        return 0;
    }
#else
    modelOrNull();
#endif
    if (!d->webrtc.start())
        return -3;
    d->pending.reserve(hop_size + kBlock);
    *handle = d.release();
    return 0;
}

extern "C" int ten_vad_process(void *handle, const int16_t *samples, size_t count, float *probability, int *flag)
{
    auto *d = static_cast<Detector *>(handle);
    if (!d || !samples || !probability || !flag || count != d->hop)
        return -1;
#if defined(TEN_VAD_WITH_ORT)
    if (d->model) {
        if (!d->model->take(samples, count))
            return -4;
        const bool reported = d->model->judged > kModelHoldBack;
        *probability = reported ? d->model->output : 0.0f;
        *flag = reported && *probability >= d->threshold ? 1 : 0;
        return 0;
    }
#endif
    d->pending.insert(d->pending.end(), samples, samples + count);
    std::size_t used = 0;
    while (d->pending.size() - used >= kBlock) {
        if (!d->webrtc.judge(d->pending.data() + used))
            return -4;
        used += kBlock;
    }
    d->pending.erase(d->pending.begin(), d->pending.begin() + static_cast<std::ptrdiff_t>(used));
    *probability = d->webrtc.probability();
    *flag = d->webrtc.decided >= kWebrtcHoldBack && *probability >= d->threshold ? 1 : 0;
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
