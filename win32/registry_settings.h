// The settings store on Windows: the per-user registry branch where the VB
// runtime's GetSetting and SaveSetting keep their values,
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>,
// one REG_SZ value per key. A user's existing choices there are read as they are.
#pragma once

#include "core/ports.h"

#include <windows.h>

#include <string>

namespace win32
{

class RegistrySettings : public core::SettingsStore
{
public:
    // Tests give a branch of their own.
    explicit RegistrySettings(HKEY root = HKEY_CURRENT_USER,
        std::u16string base = u"Software\\VB and VBA Program Settings");

    // "" when the key or value is missing, not REG_SZ, or cannot be read.
    std::u16string getSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key) override;
    // Creates the keys as needed; a failure leaves the old value.
    void saveSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key, const std::u16string &value) override;

    std::u16string keyPath(const std::u16string &application, const std::u16string &section) const;

private:
    HKEY m_root;
    std::u16string m_base;
};

} // namespace win32
