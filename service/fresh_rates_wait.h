// What the serving side asks before it answers a converter request: hold it for
// fresher rates, and until when? The rates' keeper (RateKeeper) answers from any
// thread, and tells one listener, once, when the hold ends early (its first
// round is over), so that the server wakes every held answer together
// (HeldAnswers) instead of each asking again on a timer of its own.
#pragma once

#include <chrono>
#include <optional>

namespace korvalux::service
{

class HoldListener
{
public:
    // On the keeper's thread: must only hand the news on, never block.
    virtual void holdEnded() = 0;

protected:
    ~HoldListener() = default;
};

class FreshRatesWait
{
public:
    using Clock = std::chrono::steady_clock;
    virtual ~FreshRatesWait() = default;

    // The latest moment a converter request arriving now may be held; nullopt:
    // answer it at once from the rates in use. Once nullopt, never again a time.
    virtual std::optional<Clock::time_point> holdUntil() const = 0;

    // Whom to tell when the hold ends before its time; null: nobody. Once this
    // returns, the listener set before is never called again.
    virtual void setHoldListener(HoldListener *listener) = 0;
};

} // namespace korvalux::service
