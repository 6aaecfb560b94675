// Registry reads and writes with RAII keys; values are read with their size
// asked first, so a value of any length comes back whole.
#include "win32/registry_settings.h"

#include "win32/wide.h"

#include <memory>
#include <type_traits>
#include <utility>

namespace win32
{

namespace
{

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// A hand-edited value far beyond any entry's length is not read.
constexpr DWORD maxValueBytes = 64 * 1024;

} // namespace

RegistrySettings::RegistrySettings(HKEY root, std::u16string base)
    : m_root(root)
    , m_base(std::move(base))
{
}

std::u16string RegistrySettings::keyPath(
    const std::u16string &application, const std::u16string &section) const
{
    return m_base + u"\\" + application + u"\\" + section;
}

std::u16string RegistrySettings::getSetting(
    const std::u16string &application, const std::u16string &section, const std::u16string &key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(m_root, wide(keyPath(application, section)), 0, KEY_QUERY_VALUE, &opened)
        != ERROR_SUCCESS)
        return {};
    const RegistryKey handle(opened);
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(opened, wide(key), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS
        || type != REG_SZ || bytes > maxValueBytes)
        return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(
            opened, wide(key), nullptr, &type, reinterpret_cast<BYTE *>(text.data()), &bytes)
            != ERROR_SUCCESS
        || type != REG_SZ)
        return {};
    text.resize(bytes / sizeof(wchar_t));
    // A REG_SZ may or may not carry its terminating zero.
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return fromWide(text);
}

void RegistrySettings::saveSetting(const std::u16string &application, const std::u16string &section,
    const std::u16string &key, const std::u16string &value)
{
    HKEY created = nullptr;
    if (RegCreateKeyExW(m_root, wide(keyPath(application, section)), 0, nullptr, 0, KEY_SET_VALUE,
            nullptr, &created, nullptr)
        != ERROR_SUCCESS)
        return;
    const RegistryKey handle(created);
    RegSetValueExW(created, wide(key), 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
        static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

} // namespace win32
