#pragma once

#include <functional>

namespace quarnex {

// How work done on another thread comes back to the thread that owns the windows: Post queues a
// call that runs there later, in order, never inside the Post itself. The program's windows post
// into the Qt event loop; tests and the command line use a queue they run themselves
// (QueueDelivery in session/).
class Delivery {
public:
    virtual ~Delivery() = default;
    // May be called from any thread.
    virtual void Post(std::function<void()> call) = 0;
};

} // namespace quarnex
