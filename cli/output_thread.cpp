#include "output_thread.hpp"

namespace encrypt::cli {

#ifndef _WIN32
namespace {

constexpr std::size_t writer_stack = std::size_t{256} << 10;

}  // namespace
#endif

#ifdef _WIN32
output_thread::output_thread(standard_output& out, char*, std::size_t) noexcept : out_(out) {}

char* output_thread::put(char* data, std::size_t size) noexcept {
    out_.write(data, size);
    return out_.error == 0 ? data : nullptr;
}

bool output_thread::failed() noexcept { return out_.error != 0; }

void output_thread::finish() noexcept {}
#else
output_thread::output_thread(standard_output& out, char* spares, std::size_t buffer_size) noexcept
    : out_(out) {
    for (int i = 0; i < spare_buffers; ++i) {
        free_[free_count_++] = spares + static_cast<std::size_t>(i) * buffer_size;
    }
    // The writer needs little stack: a small one keeps the process within
    // the few megabytes it is known for.
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) == 0) {
        (void)pthread_attr_setstacksize(&attributes, writer_stack);
        started_ = pthread_create(&thread_, &attributes, run, this) == 0;
        pthread_attr_destroy(&attributes);
    }
}

void* output_thread::run(void* self) noexcept {
    auto& writer = *static_cast<output_thread*>(self);
    pthread_mutex_lock(&writer.lock_);
    for (;;) {
        while (writer.queued_ == 0 && !writer.stopping_) {
            pthread_cond_wait(&writer.changed_, &writer.lock_);
        }
        if (writer.queued_ == 0) {
            break;  // stopping, with everything written
        }
        // The first block and standard output are the writer's alone until
        // the block leaves the queue.
        const block next = writer.queue_[0];
        pthread_mutex_unlock(&writer.lock_);
        writer.out_.write(next.data, next.size);
        pthread_mutex_lock(&writer.lock_);
        for (int i = 1; i < writer.queued_; ++i) {
            writer.queue_[i - 1] = writer.queue_[i];
        }
        --writer.queued_;
        writer.free_[writer.free_count_++] = next.data;
        pthread_cond_broadcast(&writer.changed_);
    }
    pthread_mutex_unlock(&writer.lock_);
    return nullptr;
}

char* output_thread::put(char* data, std::size_t size) noexcept {
    if (!started_) {
        out_.write(data, size);
        return out_.error == 0 ? data : nullptr;
    }
    pthread_mutex_lock(&lock_);
    while (free_count_ == 0) {
        pthread_cond_wait(&changed_, &lock_);
    }
    // A write's error is seen once its block has left the queue; one still
    // being written shows at the next put, or at failed().
    char* next = nullptr;
    if (out_.error == 0) {
        queue_[queued_++] = block{data, size};
        next = free_[--free_count_];
        pthread_cond_broadcast(&changed_);
    }
    pthread_mutex_unlock(&lock_);
    return next;
}

void output_thread::wait_until_written() noexcept {
    while (queued_ != 0) {
        pthread_cond_wait(&changed_, &lock_);
    }
}

bool output_thread::failed() noexcept {
    if (!started_) {
        return out_.error != 0;
    }
    pthread_mutex_lock(&lock_);
    wait_until_written();
    const bool failed = out_.error != 0;
    pthread_mutex_unlock(&lock_);
    return failed;
}

void output_thread::finish() noexcept {
    if (!started_) {
        return;
    }
    pthread_mutex_lock(&lock_);
    wait_until_written();
    stopping_ = true;
    pthread_cond_broadcast(&changed_);
    pthread_mutex_unlock(&lock_);
    pthread_join(thread_, nullptr);
    started_ = false;
}
#endif

}  // namespace encrypt::cli
