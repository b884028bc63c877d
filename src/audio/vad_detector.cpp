#include "audio/vad_detector.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {
Q_LOGGING_CATEGORY(lcVad, "audio.vad", QtInfoMsg)

constexpr int kTaps = 31;
constexpr int kHistory = kTaps - 1;
constexpr int kDecimation = 3;
constexpr std::size_t kHop = 256;
constexpr int kCompactAfter = 4096;
constexpr int kProbabilityHops = 6;
constexpr int kSilentBitrate = 8000;
constexpr int kHangoverBitrateCap = 16000;
constexpr double kCutoff = 0.9424777960769379; // 0.3 pi: 7200 Hz at 48 kHz

const char *stateName(VadDetector::VadState s)
{
    switch (s) {
        case VadDetector::Active: return "active";
        case VadDetector::Hangover: return "hangover";
        case VadDetector::Silent: return "silent";
    }
    return "?";
}

void buildTaps(std::array<float, kTaps> &taps)
{
    double sum = 0;
    for (int i = 0; i < kTaps; ++i) {
        const int m = i - kTaps / 2;
        const double s = m == 0 ? kCutoff : std::sin(kCutoff * m) / m;
        const double w = 0.54 - 0.46 * std::cos(2.0 * M_PI * i / (kTaps - 1));
        taps[static_cast<std::size_t>(i)] = static_cast<float>(w * s);
        sum += w * s;
    }
    for (float &t : taps)
        t = static_cast<float>(static_cast<double>(t) / sum);
}

int dwellBeforeLeaving(VadDetector::VadState from, VadDetector::VadState to)
{
    if (to == VadDetector::Active)
        return 0;
    switch (from) {
        case VadDetector::Active: return 100;
        case VadDetector::Hangover: return 200;
        case VadDetector::Silent: return 500;
    }
    return 0;
}
} // namespace

struct VadDetector::Impl
{
    struct Timer
    {
        VadState target = Silent;
        bool armed = false;
        qint64 due = 0;
    };

    QLibrary library;
    bool loadAttempted = false;
    bool resolved = false;
    LibraryCalls calls;
    void *handle = nullptr;
    float instanceThreshold = 0.5f; // the threshold the library instance was created with

    std::array<float, kTaps> taps{};
    std::array<qint16, kHistory> history{};
    int phase = 0;
    std::vector<qint16> work;

    float threshold = 0.5f;
    int hangoverMs = 300;
    float probabilityPeak = 0;
    int hopCount = 0;
    std::vector<qint16> queue;
    std::size_t readPos = 0;

    VadState state = Silent;
    QElapsedTimer elapsed;
    std::function<qint64()> manualClock;
    qint64 lastSpeechMs = 0;
    qint64 lastChangeMs = 0;
    int consecutiveSpeechHops = 0;

    Timer hangoverTimer;
    Timer dwellTimer;
    QTimer *wake = nullptr; // fires the timers above on time; unused with a manual clock

    bool muted = false;
    int roomBitrate = 64000;

    qint64 now() const { return manualClock ? manualClock() : elapsed.elapsed(); }
};

#ifndef QT_NO_DEBUG
#define ASSERT_OWNER_THREAD() Q_ASSERT_X(QThread::currentThread() == thread(), Q_FUNC_INFO, "owner thread only")
#else
#define ASSERT_OWNER_THREAD()
#endif

// The detector's private steps, kept out of the header.
class VadDetectorSteps
{
public:
    VadDetectorSteps(VadDetector *q_, VadDetector::Impl &d_)
        : q(q_)
        , d(d_)
    {}

    // What both constructors do first.
    static void setUp(VadDetector *self, VadDetector::Impl &d)
    {
        buildTaps(d.taps);
        d.queue.reserve(1024);
        d.elapsed.start();
        d.lastChangeMs = 0;
        d.wake = new QTimer(self);
        d.wake->setSingleShot(true);
        d.wake->setTimerType(Qt::PreciseTimer);
        QObject::connect(d.wake, &QTimer::timeout, self, &VadDetector::fireDueTimers);
    }

    static void createInstance(VadDetector::Impl &d)
    {
        if (d.handle || !d.resolved)
            return;
        void *handle = nullptr;
        const int ret = d.calls.create(&handle, kHop, d.threshold);
        if (ret != 0 || !handle) {
            qCWarning(lcVad).nospace() << "ten_vad_create failed, ret=" << ret;
            return;
        }
        d.handle = handle;
        d.instanceThreshold = d.threshold;
    }

    static void loadLibrary(VadDetector::Impl &d)
    {
        if (d.loadAttempted)
            return;
        d.loadAttempted = true;
        // The library ships next to the executable; the system's search path comes second.
        d.library.setFileName(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ten_vad")));
        if (!d.library.load()) {
            d.library.setFileName(QStringLiteral("ten_vad"));
            if (!d.library.load()) {
                qCInfo(lcVad).noquote() << "ten_vad.dll not found, vad disabled:" << d.library.errorString();
                return;
            }
        }
        d.calls.create = reinterpret_cast<decltype(d.calls.create)>(d.library.resolve("ten_vad_create"));
        d.calls.process = reinterpret_cast<decltype(d.calls.process)>(d.library.resolve("ten_vad_process"));
        d.calls.destroy = reinterpret_cast<decltype(d.calls.destroy)>(d.library.resolve("ten_vad_destroy"));
        if (!d.calls.create || !d.calls.process || !d.calls.destroy) {
            qCWarning(lcVad) << "ten_vad.dll symbols not found";
            d.calls = {};
            d.library.unload();
            return;
        }
        d.resolved = true;
    }

    void arm(VadDetector::Impl::Timer &t, VadDetector::VadState target, qint64 ms)
    {
        t.target = target;
        t.armed = true;
        t.due = d.now() + ms;
        rescheduleWake();
    }
    void cancel(VadDetector::Impl::Timer &t)
    {
        t.armed = false;
        rescheduleWake();
    }
    void rescheduleWake()
    {
        if (d.manualClock) {
            d.wake->stop();
            return;
        }
        const auto due = nextDue();
        if (!due) {
            d.wake->stop();
            return;
        }
        d.wake->start(static_cast<int>(std::max<qint64>(0, *due - d.now())));
    }
    std::optional<qint64> nextDue() const
    {
        std::optional<qint64> due;
        for (const auto *t : {&d.hangoverTimer, &d.dwellTimer})
            if (t->armed && (!due || t->due < *due))
                due = t->due;
        return due;
    }

    int bitrateFor(VadDetector::VadState s) const
    {
        switch (s) {
            case VadDetector::Active: return d.roomBitrate;
            case VadDetector::Hangover: return std::min(d.roomBitrate, kHangoverBitrateCap);
            case VadDetector::Silent: break;
        }
        return kSilentBitrate;
    }

    void changeTo(VadDetector::VadState target)
    {
        if (target == d.state)
            return;
        if (d.dwellTimer.armed && d.dwellTimer.target != target)
            cancel(d.dwellTimer);
        const int dwell = dwellBeforeLeaving(d.state, target);
        const qint64 inState = d.now() - d.lastChangeMs;
        if (inState < dwell) {
            if (d.dwellTimer.armed && d.dwellTimer.target == target)
                return;
            arm(d.dwellTimer, target, dwell - inState);
            return;
        }
        cancel(d.dwellTimer);
        const VadDetector::VadState old = d.state;
        d.state = target;
        d.lastChangeMs = d.now();
        const int bitrate = bitrateFor(target);
        qCDebug(lcVad).noquote() << "fsm transition" << stateName(old) << "→" << stateName(target)
                                 << "bitrate:" << bitrate / 1000 << "kbps"
                                 << "muted:" << d.muted;
        emit q->stateChanged(target);
        emit q->bitrateChangeRequested(bitrate);
    }

    void silenceNow()
    {
        cancel(d.hangoverTimer);
        cancel(d.dwellTimer);
        d.consecutiveSpeechHops = 0;
        if (d.state == VadDetector::Silent)
            return;
        d.state = VadDetector::Silent;
        d.lastChangeMs = d.now();
        emit q->stateChanged(VadDetector::Silent);
        emit q->bitrateChangeRequested(kSilentBitrate);
    }

    void onHop(float probability, int flag)
    {
        // The library judges against the threshold its instance was created with; a later
        // threshold is applied here to its probability, so that the instance (and what it has
        // learnt of the input) is kept.
        if (!qFuzzyCompare(d.threshold, d.instanceThreshold))
            flag = probability >= d.threshold ? 1 : 0;

        d.probabilityPeak = std::max(d.probabilityPeak, probability);
        if (++d.hopCount >= kProbabilityHops) {
            const float peak = d.probabilityPeak;
            d.probabilityPeak = 0;
            d.hopCount = 0;
            emit q->probabilityUpdated(peak);
        }

        const qint64 now = d.now();
        if (flag != 0) {
            d.lastSpeechMs = now;
            ++d.consecutiveSpeechHops;
            cancel(d.hangoverTimer);
            if (d.dwellTimer.armed && d.dwellTimer.target != VadDetector::Active)
                cancel(d.dwellTimer);
            if ((d.state == VadDetector::Silent && d.consecutiveSpeechHops >= 1) || d.state == VadDetector::Hangover)
                changeTo(VadDetector::Active);
            return;
        }

        d.consecutiveSpeechHops = 0;
        if (d.state == VadDetector::Active) {
            if (!d.hangoverTimer.armed)
                arm(d.hangoverTimer, VadDetector::Hangover, std::clamp(d.hangoverMs / 3, 60, 200));
        } else if (d.state == VadDetector::Hangover) {
            if (!d.hangoverTimer.armed) {
                const qint64 sinceSpeech = now - d.lastSpeechMs;
                if (sinceSpeech >= d.hangoverMs)
                    changeTo(VadDetector::Silent);
                else
                    arm(d.hangoverTimer, VadDetector::Silent, d.hangoverMs - sinceSpeech);
            }
        }
    }

private:
    VadDetector *q;
    VadDetector::Impl &d;
};

VadDetector::VadDetector(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    VadDetectorSteps::setUp(this, *d);
    VadDetectorSteps::loadLibrary(*d);
    VadDetectorSteps::createInstance(*d);
}

VadDetector::VadDetector(const LibraryCalls &calls, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Impl>())
{
    VadDetectorSteps::setUp(this, *d);
    d->loadAttempted = true;
    if (calls.create && calls.process && calls.destroy) {
        d->calls = calls;
        d->resolved = true;
    } else {
        qCWarning(lcVad) << "ten_vad.dll symbols not found";
    }
    VadDetectorSteps::createInstance(*d);
}

VadDetector::~VadDetector()
{
    if (d->handle)
        d->calls.destroy(&d->handle);
}

void VadDetector::feed(const qint16 *data, int count)
{
    ASSERT_OWNER_THREAD();
    if (!d->resolved || !d->handle || !data || count < 1)
        return;
    VadDetectorSteps steps(this, *d);
    if (d->muted) {
        steps.silenceNow();
        return;
    }

    if (d->readPos > static_cast<std::size_t>(kCompactAfter)) {
        d->queue.erase(d->queue.begin(), d->queue.begin() + static_cast<std::ptrdiff_t>(d->readPos));
        d->readPos = 0;
    }

    d->work.resize(static_cast<std::size_t>(kHistory + count));
    std::copy(d->history.begin(), d->history.end(), d->work.begin());
    std::copy(data, data + count, d->work.begin() + kHistory);
    const qint16 *work = d->work.data();
    const float *taps = d->taps.data();
    for (std::size_t p = kHistory; p < d->work.size(); ++p) {
        if (++d->phase < kDecimation)
            continue;
        d->phase = 0;
        float acc = 0;
        for (int k = 0; k < kTaps; ++k)
            acc += taps[k] * static_cast<float>(work[p - static_cast<std::size_t>(k)]);
        const long y = std::clamp(lroundf(acc), -32768L, 32767L);
        d->queue.push_back(static_cast<qint16>(y));
    }
    std::copy(d->work.end() - kHistory, d->work.end(), d->history.begin());

    while (d->queue.size() - d->readPos >= kHop) {
        float probability = 0;
        int flag = 0;
        const int ret = d->calls.process(d->handle, d->queue.data() + d->readPos, kHop, &probability, &flag);
        d->readPos += kHop;
        if (ret != 0)
            continue;
        steps.onHop(probability, flag);
    }
}

VadDetector::VadState VadDetector::state() const
{
    return d->state;
}

void VadDetector::setMuted(bool muted)
{
    ASSERT_OWNER_THREAD();
    d->muted = muted;
    if (muted && d->state != Silent)
        VadDetectorSteps(this, *d).silenceNow();
}

void VadDetector::setThreshold(float threshold)
{
    ASSERT_OWNER_THREAD();
    const float clamped = std::clamp(threshold, 0.05f, 0.95f);
    if (qFuzzyCompare(clamped, d->threshold))
        return;
    d->threshold = clamped;
    qCInfo(lcVad) << "threshold set" << clamped;
}

void VadDetector::setHangoverMs(int ms)
{
    ASSERT_OWNER_THREAD();
    d->hangoverMs = std::clamp(ms, 50, 3000);
    qCInfo(lcVad) << "hangover set" << d->hangoverMs << "ms";
}

void VadDetector::setRoomBitrate(int bps)
{
    ASSERT_OWNER_THREAD();
    d->roomBitrate = std::max(bps, kSilentBitrate);
}

float VadDetector::threshold() const
{
    return d->threshold;
}
int VadDetector::hangoverMs() const
{
    return d->hangoverMs;
}
int VadDetector::roomBitrate() const
{
    return d->roomBitrate;
}
bool VadDetector::isUsable() const
{
    return d->resolved && d->handle;
}

void VadDetector::setManualClock(std::function<qint64()> nowMs)
{
    ASSERT_OWNER_THREAD();
    d->manualClock = std::move(nowMs);
    d->lastChangeMs = d->now();
    d->lastSpeechMs = d->lastChangeMs;
    VadDetectorSteps(this, *d).rescheduleWake();
}

std::optional<qint64> VadDetector::nextTimerDueMs() const
{
    return VadDetectorSteps(const_cast<VadDetector *>(this), *d).nextDue();
}

void VadDetector::fireDueTimers()
{
    ASSERT_OWNER_THREAD();
    VadDetectorSteps steps(this, *d);
    for (;;) {
        Impl::Timer *next = nullptr;
        for (auto *t : {&d->hangoverTimer, &d->dwellTimer})
            if (t->armed && t->due <= d->now() && (!next || t->due < next->due))
                next = t;
        if (!next)
            break;
        next->armed = false;
        steps.changeTo(next->target);
    }
    steps.rescheduleWake();
}
