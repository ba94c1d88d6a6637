/* The card's block protocol as both of its sides lay it out: 512-byte command blocks written
 * at byte 2048 of the card, each opened by the same identifier, and answer blocks read back
 * from there. Plain C, shared with the virtual card. */
#ifndef VIX_CARD_BLOCK_LAYOUT_H
#define VIX_CARD_BLOCK_LAYOUT_H

#define FSI_BLOCK_SIZE 512
#define FSI_HEADER_SIZE 36
#define FSI_CHUNK_PAYLOAD_SIZE 472
#define FSI_ANSWER_HEADER_SIZE 4
#define FSI_MAX_ANSWER_SIZE 508 /* answer payload one block can hold */
#define FSI_RAW_BLOCK_OFFSET 2048
#define FSI_IDENTIFIER_SIZE 32

/* Payload types of command blocks (byte 32) and answer blocks (byte 0). */
#define FSI_PAYLOAD_FC 0
#define FSI_PAYLOAD_SE 1
#define FSI_PAYLOAD_FC_RESPONSE 2
#define FSI_PAYLOAD_SE_RESPONSE 3
#define FSI_PAYLOAD_BUSY 4

/* The first bytes of every command block; a block that still starts with them has not been
 * answered yet. */
static const unsigned char FSI_COMMAND_IDENTIFIER[FSI_IDENTIFIER_SIZE] = {
    0x5C, 0x21, 0x9E, 0x04, 0xB7, 0x33, 0xE8, 0x6A, 0x0F, 0x91, 0xD2, 0x47, 0x7B, 0xC5, 0x18, 0xAE,
    0x63, 0xF0, 0x2D, 0x89, 0x44, 0xBA, 0x17, 0xE2, 0x9C, 0x06, 0x71, 0xDB, 0x38, 0xA5, 0xCF, 0x12};

#endif
