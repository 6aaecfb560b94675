// The cache's files on Windows: a temporary file beside the target, flushed,
// then moved over it in one step, so readers see the old file or the new one.
#include "service/rate_cache.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <random>
#include <system_error>

namespace korvalux::service
{

namespace fs = std::filesystem;

namespace
{

std::string systemMessage(DWORD error)
{
    return std::system_category().message(static_cast<int>(error));
}

// Six letters or digits, the pattern removeStaleTemporaryFiles knows.
std::string randomSuffix()
{
    static constexpr char letters[]
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random {std::random_device {}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    std::string suffix(6, 'X');
    for (char &c : suffix)
        c = letters[pick(random)];
    return suffix;
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

} // namespace

std::string writeFileAtomically(const fs::path &path, std::string_view bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec)
        return "cannot create " + path.parent_path().string() + ": " + ec.message();
    fs::path tmp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        tmp = path;
        // Two appends: GCC 12 at -O3 warns (-Wrestrict) about "." + string.
        tmp += ".";
        tmp += randomSuffix();
        file = CreateFileW(
            tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        return "cannot create a file in " + path.parent_path().string() + ": "
            + systemMessage(GetLastError());
    std::unique_ptr<void, HandleCloser> owner(file);
    auto fail = [&](const char *what) {
        const std::string why
            = std::string(what) + " " + tmp.string() + ": " + systemMessage(GetLastError());
        owner.reset();
        DeleteFileW(tmp.c_str());
        return why;
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk
            = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1 << 20));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr) || n == 0)
            return fail("cannot write");
        written += n;
    }
    if (!FlushFileBuffers(file))
        return fail("cannot flush");
    if (!CloseHandle(owner.release())) {
        const std::string why
            = "cannot close " + tmp.string() + ": " + systemMessage(GetLastError());
        DeleteFileW(tmp.c_str());
        return why;
    }
    if (!MoveFileExW(
            tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const std::string why
            = "cannot rename " + tmp.string() + ": " + systemMessage(GetLastError());
        DeleteFileW(tmp.c_str());
        return why;
    }
    return {};
}

fs::path defaultCacheDir()
{
    PWSTR folder = nullptr;
    fs::path dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder)))
        dir = fs::path(folder) / L"Korvalux" / L"cache";
    CoTaskMemFree(folder);
    if (dir.empty())
        dir = fs::temp_directory_path() / L"korvalux-service-cache";
    return dir;
}

} // namespace korvalux::service
