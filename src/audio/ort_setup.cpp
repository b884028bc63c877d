#include "audio/ort_setup.h"

#include <onnxruntime_cxx_api.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <exception>
#include <mutex>
#include <string>

namespace {
// The runtime's API level this code is written against.
constexpr uint32_t kOrtApiVersion = 27;

bool initApi(QString *error)
{
    static std::once_flag once;
    static const OrtApi *api = nullptr;
    std::call_once(once, [] {
        api = OrtGetApiBase()->GetApi(kOrtApiVersion);
        if (api)
            Ort::InitApi(api);
    });
    if (!api && error)
        *error = QStringLiteral("onnxruntime does not offer API version %1").arg(kOrtApiVersion);
    return api != nullptr;
}
} // namespace

QString modelsDir()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("models"));
}

Ort::Env &sharedOrtEnv()
{
    static Ort::Env *env = [] {
        initApi(nullptr);
        auto *e = new Ort::Env(ORT_LOGGING_LEVEL_WARNING, "kestova-audio");
        e->DisableTelemetryEvents();
        return e;
    }();
    return *env;
}

std::unique_ptr<Ort::Session> createOrtSession(const QString &modelPath, QString *error)
{
    if (!initApi(error))
        return nullptr;
    try {
        Ort::SessionOptions options;
        options.SetIntraOpNumThreads(1);
        options.SetInterOpNumThreads(1);
        options.SetExecutionMode(ExecutionMode::ORT_SEQUENTIAL);
        options.SetGraphOptimizationLevel(GraphOptimizationLevel::ORT_ENABLE_ALL);
        options.AddConfigEntry("session.intra_op.allow_spinning", "0");
        Ort::Env &env = sharedOrtEnv();
        const std::string path = QFile::encodeName(modelPath).toStdString();
        return std::make_unique<Ort::Session>(env, path.c_str(), options);
    } catch (const std::exception &e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        return nullptr;
    }
}

bool hasPassThroughMark(Ort::Session &session)
{
    try {
        Ort::AllocatorWithDefaultOptions allocator;
        Ort::ModelMetadata metadata = session.GetModelMetadata();
        Ort::AllocatedStringPtr value = metadata.LookupCustomMetadataMapAllocated(kPassThroughMarkKey, allocator);
        return value && std::string(value.get()) == "1";
    } catch (const std::exception &) {
        return false;
    }
}
