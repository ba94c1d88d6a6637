// Telling a card from any other disk before anything is written to it.
#ifndef VIX_CARD_RECOGNITION_H
#define VIX_CARD_RECOGNITION_H

// 0 when the device or its whole disk carries an identification record;
// TRESORA_AC_ERR_NOT_A_CARD when the device was read and neither does;
// FSI_RET_OPEN_ERR when the device itself cannot be opened or read.
int findIdentificationRecord(const char* devicePath);

#endif
