#include "productnames.h"

const char* const applicationFullName = "Kendrova Tresora Archive Tool";
const char* const applicationShortName = "Vix";
const char* const cardFullName = "Kendrova Tresora Archive Card";
const char* const cardName = "Tresora Archive Card";

const QMap<FirmwareType, QString>& productFullName()
{
    static const QMap<FirmwareType, QString> names{
        {Ccv1, QStringLiteral("Kendrova Tresora Camera Card Tool")},
        {Ccv2, QString::fromLatin1(applicationFullName)}};
    return names;
}

const QMap<FirmwareType, QString>& memoryProductName()
{
    static const QMap<FirmwareType, QString> names{{Ccv1, QStringLiteral("Tresora Camera Card")},
                                                   {Ccv2, QString::fromLatin1(cardName)}};
    return names;
}
