// A new, empty folder of a test's own under the system's temporary folder:
// what mkdtemp gives on POSIX, on Windows too.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace testing_support
{

inline std::filesystem::path makeTempFolder(const std::string &prefix)
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        std::filesystem::path path
            = base / (prefix + "-" + std::to_string(random() % 1'000'000'000));
        if (std::filesystem::create_directory(path)) // false: it was there already
            return path;
    }
}

// Removed, with what it holds, when it goes.
class TempFolder
{
public:
    explicit TempFolder(const std::string &prefix)
        : m_path(makeTempFolder(prefix))
    {
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace testing_support
