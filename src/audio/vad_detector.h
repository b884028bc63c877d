#pragma once

#include <QObject>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

// Decides frame by frame whether the user is speaking, and turns the per-hop decisions of
// the "ten_vad" detector library into three states with hangover and minimum dwell times.
// The 48 kHz capture frames are low-pass filtered and decimated to 16 kHz and handed to the
// library in hops of 256 samples (16 ms).
//
// Threads: single-threaded. Every call, timer and signal happens on the owner's thread (the
// capture thread for the capture engine's detector, the loop-test worker for its own); debug
// builds assert it. Nothing is shared with other threads.
class VadDetector : public QObject
{
    Q_OBJECT
public:
    enum VadState { Active = 0, Hangover = 1, Silent = 2 };
    Q_ENUM(VadState)

    // The three calls of the detector library.
    struct LibraryCalls
    {
        int (*create)(void **handle, std::size_t hopSize, float threshold) = nullptr;
        int (*process)(void *handle, const qint16 *samples, std::size_t count, float *probability, int *flag) = nullptr;
        int (*destroy)(void **handle) = nullptr;
    };

    // Loads the library "ten_vad" (next to the executable first, then the system's search
    // path) and creates an instance. Without the library the detector stays Silent.
    explicit VadDetector(QObject *parent = nullptr);
    // Uses the given calls in place of the library; calls with a null member count as a
    // library whose entry points are missing.
    explicit VadDetector(const LibraryCalls &calls, QObject *parent = nullptr);
    ~VadDetector() override;

    // `count` samples of 48 kHz mono audio (the capture engine passes 480).
    void feed(const qint16 *data, int count);
    VadState state() const;
    void setMuted(bool muted);
    // Clamped to 0.05 .. 0.95. The library instance is kept (a new one would start from nothing
    // and misjudge its first hops): from now on the detector compares the library's probability
    // with this threshold itself, in place of the library's flag.
    void setThreshold(float threshold);
    // Clamped to 50 .. 3000 ms.
    void setHangoverMs(int ms);
    // At least 8000; used from the next state change on.
    void setRoomBitrate(int bps);

    float threshold() const;
    int hangoverMs() const;
    int roomBitrate() const;
    // Whether feeding can reach the library (loaded, resolved and an instance created).
    bool isUsable() const;

    // Time. By default a monotonic clock started at construction and real timers. A manual
    // clock (milliseconds) replaces both: the caller moves its clock and then fires the
    // timers that have come due, as a timer would at that moment.
    void setManualClock(std::function<qint64()> nowMs);
    std::optional<qint64> nextTimerDueMs() const;
    void fireDueTimers();

signals:
    void stateChanged(VadDetector::VadState state);
    void bitrateChangeRequested(int bps);
    void probabilityUpdated(float probability);

private:
    friend class VadDetectorSteps;
    struct Impl;
    std::unique_ptr<Impl> d;
};
