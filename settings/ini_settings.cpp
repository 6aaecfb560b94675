// QSettings in INI format does the file work: it writes through QSaveFile under a
// lock file, so a crash mid-write leaves the old file whole. Every save syncs at
// once, so the process may end right after it.
#include "settings/ini_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <utility>

namespace settings
{

namespace
{

QString statusText(QSettings::Status status)
{
    switch (status) {
    case QSettings::NoError:
        return QStringLiteral("no error");
    case QSettings::AccessError:
        return QStringLiteral("the file cannot be accessed");
    case QSettings::FormatError:
        return QStringLiteral("the file is not a valid INI file");
    }
    return QStringLiteral("unknown error");
}

void report(const QString &what, const QString &path, const QString &why)
{
    std::fprintf(stderr, "korvalux: %s %s: %s\n", qUtf8Printable(what), qUtf8Printable(path),
        qUtf8Printable(why));
}

QString toQString(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

IniSettings::IniSettings(QString folder)
    : m_folder(std::move(folder))
{
}

QString IniSettings::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString IniSettings::filePath(const std::u16string &application) const
{
    return QDir(m_folder).filePath(toQString(application) + QStringLiteral(".ini"));
}

std::u16string IniSettings::getSetting(
    const std::u16string &application, const std::u16string &section, const std::u16string &key)
{
    const QString path = filePath(application);
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    // QSettings treats a folder or an unreadable file as empty without saying so.
    if (!info.isFile() || !info.isReadable()) {
        report(QStringLiteral("cannot read settings"), path, statusText(QSettings::AccessError));
        return {};
    }
    QSettings store(path, QSettings::IniFormat);
    store.beginGroup(toQString(section));
    const QVariant value = store.value(toQString(key));
    if (store.status() != QSettings::NoError) {
        report(QStringLiteral("cannot read settings"), path, statusText(store.status()));
        return {};
    }
    // A hand-edited "a, b" reads back as a list; it is no text of ours.
    if (value.typeId() != QMetaType::QString)
        return {};
    const QString text = value.toString();
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

bool IniSettings::save(const std::u16string &application, const std::u16string &section,
    const std::u16string &key, const std::u16string &value)
{
    const QString path = filePath(application);
    if (!QDir().mkpath(m_folder)) {
        report(QStringLiteral("cannot save settings"), path,
            QStringLiteral("the folder cannot be created"));
        return false;
    }
    QSettings store(path, QSettings::IniFormat);
    store.beginGroup(toQString(section));
    store.setValue(toQString(key), toQString(value));
    store.endGroup();
    store.sync();
    // A file that could not be parsed is rewritten from what could; only a failed
    // write loses the value.
    if (store.status() == QSettings::AccessError) {
        report(QStringLiteral("cannot save settings"), path, statusText(store.status()));
        return false;
    }
    return true;
}

} // namespace settings
