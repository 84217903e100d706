// Replaces the global operator new and delete of the test program that
// includes it (include it in one file of a program only) with ones that count
// every allocation, so a test can tell whether the code under test allocated.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace b2test {
inline std::atomic<unsigned long long> g_news{0};
inline thread_local unsigned long long t_news = 0;  // this thread's
inline unsigned long long news_so_far() { return g_news.load(std::memory_order_relaxed); }
// Allocations made by the calling thread so far: what one thread (an audio
// thread) allocates while others (an editor) may allocate as they like.
inline unsigned long long news_on_this_thread() { return t_news; }
}  // namespace b2test

void* operator new(std::size_t n) {
    b2test::g_news.fetch_add(1, std::memory_order_relaxed);
    ++b2test::t_news;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    b2test::g_news.fetch_add(1, std::memory_order_relaxed);
    ++b2test::t_news;
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return ::operator new(n, t); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
