// Feeds faked behind the Fetcher interface, for tests that need a document and
// not a socket: each address answers from a function the test gives. A stalling
// answer waits for the fetch's cancel flag, as a transfer cut by a stop does.
#pragma once

#include "service/fetcher.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace korvalux::service::testData
{

class FakeFeeds final : public Fetcher
{
public:
    using Answer = std::function<FetchResult(const std::string &url)>;
    explicit FakeFeeds(Answer answer)
        : m_answer(std::move(answer))
    {
    }

    FetchResult fetch(const std::string &url, const core::DownloadLimits &,
        const std::atomic<bool> *cancel) override
    {
        ++m_fetches;
        FetchResult result = m_answer(url);
        if (result.error != stall)
            return result;
        // The cancel flag notifies nobody: look at it now and then.
        while (!(cancel && cancel->load()))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return {{}, "cancelled"};
    }

    int fetches() const { return m_fetches; }

    // An answer that never comes: the fetch waits for its cancel flag.
    static constexpr const char *stall = "(stall)";

private:
    Answer m_answer;
    std::atomic<int> m_fetches {0};
};

inline FetchResult body(std::string text)
{
    return {std::move(text), {}};
}

inline FetchResult failure(std::string why)
{
    return {{}, std::move(why)};
}

} // namespace korvalux::service::testData
