// What the serving side asks before it answers a converter request: hold it for
// fresher rates, and until when? The rates' keeper (RateKeeper) answers from any
// thread. The server asks again on a timer of the waiting connection, so its
// io_context thread never blocks and no other thread ever posts into it.
#pragma once

#include <chrono>
#include <optional>

namespace korvalux::service
{

class FreshRatesWait
{
public:
    using Clock = std::chrono::steady_clock;
    virtual ~FreshRatesWait() = default;

    // The latest moment a converter request arriving now may be held; nullopt:
    // answer it at once from the rates in use.
    virtual std::optional<Clock::time_point> holdUntil() const = 0;
};

} // namespace korvalux::service
