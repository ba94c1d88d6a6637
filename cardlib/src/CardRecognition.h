// Telling a card from any other disk before anything is written to it.
#ifndef VIX_CARD_RECOGNITION_H
#define VIX_CARD_RECOGNITION_H

#include "CardManagement.h"

// 0 when the device carries an identification record, or, for a block device, its
// whole disk does (an image file has no whole disk: the record must be its own);
// *generation then holds the record's tresora_ac_generation. TRESORA_AC_ERR_NOT_A_CARD
// when neither does, and at once for anything but a block device or a regular file
// (a FIFO would block the open for ever). FSI_RET_OPEN_ERR when the device itself
// cannot be examined, opened or read.
int findIdentificationRecord(const char* devicePath, uint32_t* generation);

#endif
