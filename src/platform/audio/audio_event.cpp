#include "platform/audio/audio_event.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

AudioEvent::AudioEvent()
    : descriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{}

AudioEvent::~AudioEvent()
{
    if (descriptor >= 0)
        ::close(descriptor);
}

void AudioEvent::signal()
{
    if (descriptor < 0)
        return;
    const std::uint64_t one = 1;
    ssize_t n;
    do {
        n = ::write(descriptor, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

bool AudioEvent::wait(int timeoutMs)
{
    if (descriptor < 0)
        return false;
    pollfd p{descriptor, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 && consume();
}

bool AudioEvent::consume()
{
    if (descriptor < 0)
        return false;
    std::uint64_t value = 0;
    ssize_t n;
    do {
        n = ::read(descriptor, &value, sizeof value);
    } while (n < 0 && errno == EINTR);
    return n == sizeof value && value > 0;
}
