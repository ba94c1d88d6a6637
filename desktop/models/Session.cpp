#include "Session.h"

#include <QDateTime>
#include <QLocale>
#include <utility>

Session::Session(unsigned int id, std::string dateTime, unsigned int sectorCount)
    : id(id), dateTime(std::move(dateTime)), dataSize(quint64(sectorCount) * 512)
{
    formattedDataSize = getFormattedDataSize(float(dataSize));
    const QDateTime parsed =
        QDateTime::fromString(QString::fromStdString(this->dateTime), Qt::ISODate);
    if (parsed.isValid())
        formattedDateTime = QLocale::system().toString(parsed, QLocale::ShortFormat);
}

QString Session::getFormattedDataSize(float bytes)
{
    if (bytes >= 1e9f)
        return QString::asprintf("%.1f GB", double(bytes) / (1 << 30));
    if (bytes >= 1e6f)
        return QString::asprintf("%.1f MB", double(bytes) / (1 << 20));
    if (bytes >= 1e3f)
        return QString::asprintf("%.1f KB", double(bytes) / (1 << 10));
    return QString::asprintf("%.1f Bytes", double(bytes));
}

bool Session::operator==(const Session& other) const
{
    return id == other.id && dateTime == other.dateTime && dataSize == other.dataSize &&
           formattedDateTime == other.formattedDateTime &&
           formattedDataSize == other.formattedDataSize;
}
