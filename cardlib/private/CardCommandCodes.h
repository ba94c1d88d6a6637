/* The codes that name each card command: class and instruction bytes, and the P1 or
 * P2 values that tell apart the commands sharing an instruction. Plain C, for the
 * card library that sends them and the virtual card that answers them. */
#ifndef VIX_CARD_COMMAND_CODES_H
#define VIX_CARD_COMMAND_CODES_H

/* Card-terminal commands, answered by the card's controller. */
#define FSI_CT_CLA 0x20
#define FSI_CT_INS_RESET 0x11
#define FSI_CT_INS_REQUEST 0x12
#define FSI_CT_INS_STATUS 0x13
#define FSI_CT_INS_EJECT 0x15

/* Commands to the secure element. */
#define SFC_CLA 0xFF

#define SFC_INS_ACTIVATE 0x10
#define SFC_ACTIVATION_MODE 1 /* P1 */

#define SFC_INS_DEACTIVATE 0x20
#define SFC_INS_VERIFY 0x30
#define SFC_INS_LOCK 0x31
#define SFC_INS_CHANGE_PASSWORD 0x40 /* P1: who */

/* P1 selects the unblock or one of two areas. */
#define SFC_INS_UNBLOCK_OR_AREA 0x50
#define SFC_UNBLOCK 0x00
#define SFC_AREA_READ_EXCEPTION 0x01
#define SFC_AREA_CDROM 0x02

#define SFC_INS_CDROM_AREA 0x53
#define SFC_CDROM_AREA_DEFAULT 0x00
#define SFC_CDROM_AREA_SET 0x01
#define SFC_CDROM_AREA_AND_EXCEPTION 0x02
#define SFC_CDROM_AREA_PROFILES 0x03
#define SFC_PROFILES_CLEAR 0x00 /* P2 */
#define SFC_PROFILES_SET 0x01   /* P2 */

#define SFC_INS_RESET 0x60 /* P2: mode */
#define SFC_RESET_WIPE 3
#define SFC_RESET_FACTORY 4

/* P1 selects the query. */
#define SFC_INS_QUERY 0x70
#define SFC_QUERY_STATUS 0x00
#define SFC_QUERY_ID 0x01
#define SFC_QUERY_VERSION 0x02
#define SFC_VERSION_APP 0x00  /* P2 */
#define SFC_VERSION_BASE 0x01 /* P2 */
#define SFC_QUERY_NVRAM_STATUS 0x03
#define SFC_QUERY_EXCEPTION_STATUS 0x04
#define SFC_QUERY_CONTROLLER_ID 0x06
#define SFC_QUERY_PROFILES 0x07
#define SFC_QUERY_PARTITION 0x08
#define SFC_QUERY_SIZE_USB 0x09

#define SFC_INS_LIST_SESSIONS 0x71
#define SFC_INS_SWITCH_SESSION 0x72
#define SFC_INS_SESSION_CONTROL 0x73
#define SFC_SESSION_DISCARD 0x00
#define SFC_SESSION_START_NEW 0x01

#define SFC_INS_CONFIGURE 0x80
#define SFC_CONFIGURE_CUSTOMIZE 0x01
#define SFC_CONFIGURE_NVRAM 0x03
#define SFC_CONFIGURE_SECURITY_FLAGS 0x05

#define SFC_INS_FIRMWARE_UPDATE 0xAA
#define SFC_FIRMWARE_TRANSFER 0x00
#define SFC_FIRMWARE_APPLY 0x01

#define SFC_INS_READ_NVRAM 0xD0
#define SFC_NVRAM_SIZE_QUERY 0x01 /* P2 */
#define SFC_INS_WRITE_NVRAM 0xD1
#define SFC_NVRAM_NO_OFFSET 0x01 /* P1 */

#endif
