#include "platform/EventPump.h"

namespace talmeru {

void LinkEventQueue::PushReply(std::vector<uint8_t> data) {
    {
        std::lock_guard lock(mutex_);
        replies_.push_back(std::move(data));
    }
    wake_.notify_all();
}

void LinkEventQueue::RequestCancel() {
    {
        std::lock_guard lock(mutex_);
        cancel_ = true;
    }
    wake_.notify_all();
}

void LinkEventQueue::StartTimer(std::chrono::microseconds period) {
    std::lock_guard lock(mutex_);
    timerOn_ = true;
    period_ = period;
    nextTick_ = Clock::now() + period;
}

void LinkEventQueue::StopTimer() {
    std::lock_guard lock(mutex_);
    timerOn_ = false;
}

std::optional<LinkEventQueue::Event> LinkEventQueue::WaitNext(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (cancel_) {
            cancel_ = false;
            return Event{Kind::kCancel, {}};
        }
        if (!replies_.empty()) {
            Event e{Kind::kReply, std::move(replies_.front())};
            replies_.pop_front();
            return e;
        }
        auto now = Clock::now();
        if (timerOn_ && now >= nextTick_) {
            // Like a window timer, ticks that fell due while nobody waited come as one.
            nextTick_ += period_;
            if (nextTick_ <= now) nextTick_ = now + period_;
            return Event{Kind::kTick, {}};
        }
        if (now >= until) return std::nullopt;
        auto deadline = timerOn_ && nextTick_ < until ? nextTick_ : until;
        wake_.wait_until(lock, deadline);
    }
}

void LinkEventQueue::DropReplies() {
    std::lock_guard lock(mutex_);
    replies_.clear();
}

}  // namespace talmeru
