// The SZDD compressed-file format of the platform's LZ expansion library,
// shared by the setup program, the codec (tools/szdd) and the tests. Plain
// macros, as in payload_format.h, so that the program built without the C
// runtime takes them without the codec's C++ interface.
#pragma once

// The 14-byte header: the magic, the method, the character that the
// compressed file's name replaced in its extension (0 when none), and the
// expanded length (32 bits, little-endian).
#define SZDD_MAGIC_BYTES          0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33 /* "SZDD" 88 F0 27 33 */
#define SZDD_MAGIC_SIZE           8
#define SZDD_METHOD_OFFSET        8
#define SZDD_METHOD_A             0x41 /* 'A': the LZSS body below */
#define SZDD_REPLACED_CHAR_OFFSET 9
#define SZDD_LENGTH_OFFSET        10
#define SZDD_HEADER_SIZE          14

// The body: groups of one control byte and up to SZDD_ITEMS_PER_CONTROL
// items, control bits taken least significant first; 1 = a literal byte,
// 0 = a match of two bytes b0 b1 with window position b0 | ((b1 & 0xF0) << 4)
// and length (b1 & 0x0F) + SZDD_MIN_MATCH. The window starts as
// SZDD_WINDOW_FILL bytes, and the first byte goes at SZDD_WINDOW_START.
#define SZDD_WINDOW_SIZE       4096
#define SZDD_WINDOW_FILL       0x20 /* spaces */
#define SZDD_WINDOW_START      (SZDD_WINDOW_SIZE - 16)
#define SZDD_MIN_MATCH         3
#define SZDD_MAX_MATCH         18
#define SZDD_ITEMS_PER_CONTROL 8
