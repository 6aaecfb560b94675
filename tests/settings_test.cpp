// The INI settings store against real files in a temporary folder: what a read gives
// for missing, stored, odd and broken files, and that saves round-trip verbatim,
// replace old values, create what is missing and fail without crashing.
#include "settings/ini_settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>

namespace
{

const QString app = QStringLiteral("Vantoril");
const QString section = QStringLiteral("Korvalux");
const QString fromKey = QStringLiteral("FromCurrency");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::u16string u16(const QString &text)
{
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

// The store's port in the test's own QString terms.
struct Store {
    explicit Store(const QString &folder)
        : ini(folder)
    {
    }
    QString filePath(const QString &application) const { return ini.filePath(u16(application)); }
    QString get(const QString &application, const QString &section, const QString &key)
    {
        const std::u16string value = ini.getSetting(u16(application), u16(section), u16(key));
        return QString::fromUtf16(value.data(), qsizetype(value.size()));
    }
    bool save(const QString &application, const QString &section, const QString &key,
        const QString &value)
    {
        return ini.save(u16(application), u16(section), u16(key), u16(value));
    }
    settings::IniSettings ini;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SettingsStore, ReadsWhatTheFileHolds)
{
    struct Row {
        const char *name;
        std::optional<QByteArray> file; // nullopt: no file at all
        const char *key;
        QString expected;
    };
    const Row rows[] = {
        {"no file", std::nullopt, "FromCurrency", ""},
        {"stored entry", "[Korvalux]\nFromCurrency=Japanese Yen (JPY)\n", "FromCurrency",
            "Japanese Yen (JPY)"},
        {"other key only", "[Korvalux]\nToCurrency=Euro (EUR)\n", "FromCurrency", ""},
        {"other section only", "[Other]\nFromCurrency=Euro (EUR)\n", "FromCurrency", ""},
        {"empty value", "[Korvalux]\nFromCurrency=\n", "FromCurrency", ""},
        {"UTF-8 value", "[Korvalux]\nFromCurrency=Icelandic Kr\xc3\xb3na (ISK)\n", "FromCurrency",
            QStringLiteral("Icelandic Kr\u00f3na (ISK)")},
        {"unknown text kept verbatim", "[Korvalux]\nFromCurrency=Klingon Darsek (KDS)\n",
            "FromCurrency", "Klingon Darsek (KDS)"},
        {"list value", "[Korvalux]\nFromCurrency=Euro (EUR), Thai Baht (THB)\n", "FromCurrency",
            ""},
        {"corrupt: unterminated section", "[Korvalux\nFromCurrency=Euro (EUR)\n", "FromCurrency",
            ""},
        {"corrupt: line without equals sign",
            "[Korvalux]\nFromCurrency=Euro (EUR)\n\x01\x02garbage\xff\n", "FromCurrency", ""},
        {"empty file", "", "FromCurrency", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        Store store(dir.path());
        if (row.file)
            writeFile(store.filePath(app), *row.file);
        EXPECT_EQ(store.get(app, section, QString::fromLatin1(row.key)), row.expected);
    }
}

TEST(SettingsStore, UnreadablePlaceGivesEmptyText)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Store store(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkdir(app + QStringLiteral(".ini")));
    EXPECT_EQ(store.get(app, section, fromKey), QString());
    EXPECT_FALSE(store.save(app, section, fromKey, QStringLiteral("Euro (EUR)")));
}

TEST(SettingsStore, SavedValuesComeBackVerbatim)
{
    const QString values[] = {
        QStringLiteral("Japanese Yen (JPY)"),
        QStringLiteral("Icelandic Kr\u00f3na (ISK)"),
        QStringLiteral("Venezuelan Bol\u00edvar (VEB)"),
        QStringLiteral("Chinese Yuan (renminbi) (CNY)"),
        QStringLiteral("  padded, with comma; and = \"quotes\" \\ back  "),
        QStringLiteral("@Variant(not really)"),
        QStringLiteral("[Korvalux]"),
        QString(),
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Store store(dir.path());
    for (const QString &value : values) {
        SCOPED_TRACE(value.toStdString());
        ASSERT_TRUE(store.save(app, section, fromKey, value));
        EXPECT_EQ(store.get(app, section, fromKey), value);
        // A fresh store object sees the same file.
        EXPECT_EQ(Store(dir.path()).get(app, section, fromKey), value);
    }
}

TEST(SettingsStore, NonAsciiIsWrittenAsUtf8)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Store store(dir.path());
    ASSERT_TRUE(store.save(app, section, fromKey, QStringLiteral("Icelandic Kr\u00f3na (ISK)")));
    const QByteArray bytes = readFile(store.filePath(app));
    EXPECT_TRUE(bytes.contains("[Korvalux]")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("FromCurrency=Icelandic Kr\xc3\xb3na (ISK)")) << bytes.toStdString();
}

TEST(SettingsStore, SaveReplacesAndKeepsOtherEntries)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Store store(dir.path());
    writeFile(store.filePath(app),
        "[Other]\nKeep=this\n[Korvalux]\nFromCurrency=Euro (EUR)\n"
        "ToCurrency=Thai Baht (THB)\n");
    ASSERT_TRUE(store.save(app, section, fromKey, QStringLiteral("British Pound (GBP)")));
    EXPECT_EQ(store.get(app, section, fromKey), QStringLiteral("British Pound (GBP)"));
    EXPECT_EQ(
        store.get(app, section, QStringLiteral("ToCurrency")), QStringLiteral("Thai Baht (THB)"));
    EXPECT_EQ(
        store.get(app, QStringLiteral("Other"), QStringLiteral("Keep")), QStringLiteral("this"));
}

TEST(SettingsStore, SaveCreatesMissingFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Store store(dir.filePath(QStringLiteral("a/b/c")));
    ASSERT_TRUE(store.save(app, section, fromKey, QStringLiteral("Euro (EUR)")));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("a/b/c/Vantoril.ini"))));
    EXPECT_EQ(store.get(app, section, fromKey), QStringLiteral("Euro (EUR)"));
}

TEST(SettingsStore, SaveOverACorruptFileRepairsIt)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Store store(dir.path());
    writeFile(store.filePath(app), "[Korvalux]\nFromCurrency=Euro (EUR)\n\x01garbage\n");
    ASSERT_TRUE(store.save(app, section, fromKey, QStringLiteral("Thai Baht (THB)")));
    ASSERT_TRUE(
        store.save(app, section, QStringLiteral("ToCurrency"), QStringLiteral("Euro (EUR)")));
    EXPECT_EQ(store.get(app, section, fromKey), QStringLiteral("Thai Baht (THB)"));
    EXPECT_EQ(store.get(app, section, QStringLiteral("ToCurrency")), QStringLiteral("Euro (EUR)"));
}

TEST(SettingsStore, SaveIntoAnImpossibleFolderFailsQuietly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The folder's place is taken by a plain file.
    writeFile(dir.filePath(QStringLiteral("taken")), "x");
    Store store(dir.filePath(QStringLiteral("taken")));
    EXPECT_FALSE(store.save(app, section, fromKey, QStringLiteral("Euro (EUR)")));
    EXPECT_EQ(store.get(app, section, fromKey), QString());
}

} // namespace
