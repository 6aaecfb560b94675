// The Qt face of the core's catalogue (core/currency_catalogue.h).
#include "catalogue/currency_catalogue.h"

#include "core/currency_catalogue.h"

namespace catalogue
{

namespace
{

QString toQString(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

const QStringList &currencyEntries()
{
    static const QStringList entries = [] {
        QStringList list;
        list.reserve(qsizetype(core::currencyEntries().size()));
        for (const std::u16string &entry : core::currencyEntries())
            list.append(toQString(entry));
        return list;
    }();
    return entries;
}

QString defaultFromEntry()
{
    return toQString(core::defaultFromEntry());
}

QString defaultToEntry()
{
    return toQString(core::defaultToEntry());
}

QString CurrencyCode(const QString &entry)
{
    return toQString(core::currencyCode(std::u16string_view(
        reinterpret_cast<const char16_t *>(entry.utf16()), size_t(entry.size()))));
}

} // namespace catalogue
