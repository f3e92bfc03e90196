#pragma once
// Blowfish decipher (64-bit blocks, 16 rounds, ECB, big-endian halves) for the texts the
// program keeps enciphered. There is deliberately no enciphering entry point.
#include <cstdint>
#include <string>

constexpr uint16_t CipherBufferSize = 4096;
constexpr size_t CipherKeyMin = 8;
constexpr size_t CipherKeyMax = 65;
// Exit code of a process whose key is out of bounds at a Decipher call.
constexpr unsigned BadCipherKeyExitCode = 0xBF;

// The key every Decipher call expands. Empty until assigned; a key of fewer than CipherKeyMin
// or more than CipherKeyMax bytes ends the program silently at the next Decipher call.
extern std::string CipherKey;
extern uint8_t CipherBuffer[CipherBufferSize];
// The key the program's stored texts were enciphered with (35 printable characters).
extern const char ProgramKey[];

// Deciphers length bytes from source, zero-filled to whole 8-byte blocks, and writes the padded
// length to destination, which needs room for it; with a null destination the result stays in
// CipherBuffer. Source and destination may be the same memory, or CipherBuffer itself.
// Refused, returning false with nothing touched: a null source, a length of 0 or above
// CipherBufferSize.
bool Decipher(const uint8_t* source, uint8_t* destination, uint16_t length);
