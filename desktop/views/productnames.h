#pragma once

#include "devicemodel.h"

#include <QMap>
#include <QString>

// Names shown for each card generation, e.g. in the notice about unsupported cards.
const QMap<FirmwareType, QString>& productFullName();
const QMap<FirmwareType, QString>& memoryProductName();

// Names the application uses for itself and its card.
extern const char* const applicationFullName;  // "Kendrova Tresora Archive Tool"
extern const char* const applicationShortName; // "Vix"
extern const char* const cardFullName;         // "Kendrova Tresora Archive Card"
extern const char* const cardName;             // "Tresora Archive Card"
