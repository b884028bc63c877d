#pragma once

// Clears the upper halves of the vector registers (x86 "vzeroupper") on processors that have
// them. Code elsewhere in the process (seen after the event dispatcher of a Qt thread starts)
// can leave that state dirty, and from then on every SSE instruction of the thread pays a
// transition penalty: WebRTC's audio processing and the maths library ran three to thirty
// times slower on the capture thread. The audio stages call this before their work on each
// frame; it costs a cycle. Any thread.
inline void clearAvxUpperState()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        asm volatile("vzeroupper" ::: "memory");
#endif
}
