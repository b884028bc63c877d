#pragma once

#include <QString>

#include <memory>

namespace Ort {
struct Env;
struct Session;
} // namespace Ort

// What the neural noise suppressors share: one inference environment for the process, one way
// to open a model with fixed options, and the folder the models live in.

// The metadata key with which the project's model generator marks its stand-in models (models of
// the right shape that pass audio through); its value is "1".
inline constexpr const char *kPassThroughMarkKey = "kestova_passthrough";

// The folder "models" next to the executable.
QString modelsDir();

// The process's inference environment, created on first use (thread-safe) with warning-level
// logging and telemetry off; it lives until the process exits.
Ort::Env &sharedOrtEnv();

// A session for the model file with one intra-op and one inter-op thread, sequential
// execution, every graph optimisation and no spinning. On failure: null, and the runtime's
// message in `error` when given.
std::unique_ptr<Ort::Session> createOrtSession(const QString &modelPath, QString *error);

// Whether the session's model carries the stand-in mark. False when the metadata cannot be read.
bool hasPassThroughMark(Ort::Session &session);
