// The per-user settings store: string values addressed by application, section
// and key, kept in "<folder>/<application>.ini", group [<section>], through
// QSettings. The main window reads its two chosen currencies here at start-up
// and writes them back when it closes. The folder defaults to the user's XDG
// config home; tests give a temporary one.
#pragma once

#include <QString>

namespace settings
{

class SettingsStore
{
public:
    explicit SettingsStore(QString folder = defaultFolder());

    // "<XDG config home>", normally ~/.config.
    static QString defaultFolder();

    QString filePath(const QString &application) const;

    // The stored text; "" when the key is missing or the file cannot be read
    // (a problem with the file is reported on stderr).
    QString getSetting(
        const QString &application, const QString &section, const QString &key) const;

    // Creates the file, section and key as needed and replaces the old value; the
    // file is written at once. Returns false, after a message on stderr, when the
    // value could not be written.
    bool saveSetting(const QString &application, const QString &section, const QString &key,
        const QString &value) const;

private:
    QString m_folder;
};

} // namespace settings
