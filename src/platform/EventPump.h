#pragma once
// The request/reply wait of the synthesizer link runs its own loop over a queue of events:
// replies handed over by the MIDI input thread, ticks of a periodic timer, and a cancel
// request that any thread may raise. While it waits it calls an EventPump, so a window can
// keep painting and its Cancel button keeps working.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace talmeru {

class EventPump {
  public:
    virtual ~EventPump() = default;
    // Handles whatever the window system has waiting; must not block.
    virtual void Pump() = 0;
};

class LinkEventQueue {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Kind { kReply, kTick, kCancel };
    struct Event {
        Kind kind;
        std::vector<uint8_t> data;  // the reply
    };

    // Any thread.
    void PushReply(std::vector<uint8_t> data);
    // Any thread. Stays raised until a wait takes it.
    void RequestCancel();

    // Ticks every period from now on, until StopTimer.
    void StartTimer(std::chrono::microseconds period);
    void StopTimer();

    // The next event: a raised cancel first, then replies in order of arrival, then a due
    // tick. Waits at most until `until`; none when nothing came by then.
    std::optional<Event> WaitNext(Clock::time_point until);
    // Drops replies still queued (a reply can only belong to the request waiting for it).
    void DropReplies();

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::vector<uint8_t>> replies_;
    bool cancel_ = false;
    bool timerOn_ = false;
    std::chrono::microseconds period_{0};
    Clock::time_point nextTick_;
};

}  // namespace talmeru
