// The per-user settings store on Linux: string values addressed by application,
// section and key, kept in "<folder>/<application>.ini", group [<section>],
// through QSettings. The window reads its two chosen currencies here at load and
// writes them back when it closes. The folder defaults to the user's XDG config
// home; tests give a temporary one.
#pragma once

#include "core/ports.h"

#include <QString>

namespace settings
{

class IniSettings : public core::SettingsStore
{
public:
    explicit IniSettings(QString folder = defaultFolder());

    // "<XDG config home>", normally ~/.config.
    static QString defaultFolder();

    QString filePath(const std::u16string &application) const;

    // The stored text; "" when the key is missing or the file cannot be read
    // (a problem with the file is reported on stderr).
    std::u16string getSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key) override;

    // Creates the file, section and key as needed and replaces the old value; the
    // file is written at once. False, after a message on stderr, when the value
    // could not be written.
    bool save(const std::u16string &application, const std::u16string &section,
        const std::u16string &key, const std::u16string &value);

    // save(), for a window that has nobody but stderr to tell when it closes.
    void saveSetting(const std::u16string &application, const std::u16string &section,
        const std::u16string &key, const std::u16string &value) override
    {
        save(application, section, key, value);
    }

private:
    QString m_folder;
};

} // namespace settings
