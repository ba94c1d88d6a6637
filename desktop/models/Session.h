#ifndef VAULTDESK_SESSION_H
#define VAULTDESK_SESSION_H

#include <QList>
#include <QMetaType>
#include <QString>
#include <string>

// One recorded session of the card.
class Session
{
public:
    Session() = default;
    Session(unsigned int id, std::string dateTime, unsigned int sectorCount);

    // Decimal thresholds with binary divisors: 1,000,000,000 bytes print as "0.9 GB".
    static QString getFormattedDataSize(float bytes);

    bool operator==(const Session& other) const;
    bool operator!=(const Session& other) const { return !(*this == other); }

    unsigned int id = 0;
    std::string dateTime; // as the card gives it: YYYY-MM-DDTHH:MM:SS, or empty
    quint64 dataSize = 0; // bytes
    QString formattedDataSize;
    QString formattedDateTime;
};

using SessionList = QList<Session>;

Q_DECLARE_METATYPE(Session)

#endif
