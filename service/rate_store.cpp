// The running rate store: documents and table replaced together.
#include "service/rate_store.h"

#include "service/rate_acceptance.h"

namespace korvalux::service
{

RateStore::RateStore(RateDocument ecb, RateDocument daily)
    : RateStore(ecb, daily, ecb, daily)
{
}

RateStore::RateStore(
    RateDocument ecb, RateDocument daily, RateDocument ecbDayBefore, RateDocument dailyDayBefore)
    : m_ecb(std::move(ecb))
    , m_daily(std::move(daily))
    , m_ecbDayBefore(std::move(ecbDayBefore))
    , m_dailyDayBefore(std::move(dailyDayBefore))
    , m_table(std::make_shared<const RateTable>(buildRateTable(m_ecb, m_daily)))
{
}

std::shared_ptr<const RateTable> RateStore::table() const
{
    std::lock_guard lock(m_mutex);
    return m_table;
}

std::string RateStore::date(Feed feed) const
{
    std::lock_guard lock(m_mutex);
    return feed == Feed::Ecb ? m_ecb.date : m_daily.date;
}

RateDocument RateStore::document(Feed feed) const
{
    std::lock_guard lock(m_mutex);
    return feed == Feed::Ecb ? m_ecb : m_daily;
}

RateDocument RateStore::dayBefore(Feed feed) const
{
    std::lock_guard lock(m_mutex);
    return feed == Feed::Ecb ? m_ecbDayBefore : m_dailyDayBefore;
}

RateStore::Installed RateStore::replace(
    std::optional<RateDocument> ecb, std::optional<RateDocument> daily)
{
    // Checked again under the serial lock: no other replace comes between the
    // acceptance's date rule and the swap.
    std::lock_guard serial(m_replaceMutex);
    std::unique_lock lock(m_mutex);
    if (ecb && datedBefore(ecb->date, m_ecb.date))
        ecb.reset();
    if (daily && datedBefore(daily->date, m_daily.date))
        daily.reset();
    if (!ecb && !daily)
        return {};
    const Installed installed {ecb.has_value(), daily.has_value()};
    RateDocument newEcb = ecb ? std::move(*ecb) : m_ecb;
    RateDocument newDaily = daily ? std::move(*daily) : m_daily;
    RateDocument ecbDayBefore
        = ecb ? dayBeforeAfter(newEcb, m_ecb, m_ecbDayBefore) : m_ecbDayBefore;
    RateDocument dailyDayBefore
        = daily ? dayBeforeAfter(newDaily, m_daily, m_dailyDayBefore) : m_dailyDayBefore;
    lock.unlock();
    // Built outside the lock; requests keep the old table meanwhile.
    auto table = std::make_shared<const RateTable>(buildRateTable(newEcb, newDaily));
    lock.lock();
    m_ecb = std::move(newEcb);
    m_daily = std::move(newDaily);
    m_ecbDayBefore = std::move(ecbDayBefore);
    m_dailyDayBefore = std::move(dailyDayBefore);
    m_table = std::move(table);
    return installed;
}

} // namespace korvalux::service
