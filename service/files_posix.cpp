// The cache's files on POSIX: plain calls so that each step's failure is known
// and nothing is left half-written.
#include "service/rate_cache.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvalux::service
{

namespace fs = std::filesystem;

std::string writeFileAtomically(const fs::path &path, std::string_view bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec)
        return "cannot create " + path.parent_path().string() + ": " + ec.message();
    std::string tmp = path.string() + ".XXXXXX"; // removeStaleTemporaryFiles knows the pattern
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return "cannot create a file in " + path.parent_path().string() + ": "
            + std::strerror(errno);
    auto fail = [&](const char *what) {
        const std::string why = std::string(what) + " " + tmp + ": " + std::strerror(errno);
        ::close(fd);
        ::unlink(tmp.c_str());
        return why;
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail("cannot write");
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0)
        return fail("cannot flush");
    if (::close(fd) != 0) {
        const std::string why = "cannot close " + tmp + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return why;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const std::string why = "cannot rename " + tmp + ": " + std::strerror(errno);
        ::unlink(tmp.c_str());
        return why;
    }
    // The rename itself must reach the disk too.
    const int dir = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

fs::path defaultCacheDir()
{
    if (const char *xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        return fs::path(xdg) / "korvalux-service";
    if (const char *home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".cache" / "korvalux-service";
    return fs::temp_directory_path() / "korvalux-service-cache";
}

} // namespace korvalux::service
