// Fakes of the core's ports, shared by the behaviour's tests on a fake view and
// the Qt window's tests: a session that serves a fixed page and counts what it
// was asked, settings in a map, a browser that only records, a fixed draw. Each
// notes its steps in a Log when given one, so a test can check their order.
#pragma once

#include "core/ports.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fakes
{

struct Log {
    std::vector<std::string> steps;
    void note(const char *step) { steps.emplace_back(step); }
};

class Session : public core::InternetSession
{
public:
    explicit Session(Log *log = nullptr)
        : m_log(log)
    {
    }
    std::u16string page = u"<td align=left>1.00 USD = 0.86 EUR</td>";
    std::vector<std::u16string> asked;
    bool isOpen = false;
    // Runs inside each download, before the page is given: a test looks at the
    // window while it waits, or makes the page from the address.
    std::function<void()> duringDownload;
    std::function<std::u16string(const std::u16string &address)> answer;

    void open() override
    {
        note("open");
        isOpen = true;
    }
    void close() override
    {
        note("close");
        isOpen = false;
    }
    void warmUp() override { note("warm up"); }
    std::u16string downloadPage(const std::u16string &address) override
    {
        asked.push_back(address);
        if (duringDownload)
            duringDownload();
        return answer ? answer(address) : page;
    }

private:
    void note(const char *step)
    {
        if (m_log)
            m_log->note(step);
    }
    Log *m_log;
};

class Settings : public core::SettingsStore
{
public:
    explicit Settings(Log *log = nullptr)
        : m_log(log)
    {
    }
    // By key alone; places gathers every "application/section" asked for.
    std::map<std::u16string, std::u16string> values;
    std::set<std::u16string> places;
    std::u16string getSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key) override
    {
        places.insert(application + u'/' + section);
        if (m_log)
            m_log->note("get");
        const auto found = values.find(key);
        return found == values.end() ? std::u16string() : found->second;
    }
    void saveSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key, const std::u16string &value) override
    {
        places.insert(application + u'/' + section);
        if (m_log)
            m_log->note("save");
        values[key] = value;
    }

private:
    Log *m_log;
};

class Browser : public core::Browser
{
public:
    explicit Browser(Log *log = nullptr)
        : m_log(log)
    {
    }
    std::vector<std::u16string> opened;
    void open(const std::u16string &address) override
    {
        if (m_log)
            m_log->note("browser");
        opened.push_back(address);
    }

private:
    Log *m_log;
};

class FixedDraw : public core::RandomSource
{
public:
    double value = 0.5; // never the home page
    double draw() override { return value; }
};

} // namespace fakes
