// Layout of the gateway's configuration image and firmware image.
// Shared by the tool and the gateway simulator; nothing else is shared between them.
#pragma once
#include <cstddef>
#include <cstdint>

namespace ImageLayout {
constexpr int ImageSize = 0x3000;  // 12288 bytes
constexpr int Block1Start = 0;
constexpr int Block1Size = 2048;  // checksum in the last two bytes
constexpr int Block2Start = 4096;
constexpr int Block2Size = 8192;        // checksum in the last two bytes
constexpr int Block2Piece = 2048;       // block 2 is written in four pieces
constexpr int ModemNumbersStart = 928;  // remote supervision entries, compared before a write
constexpr int ModemNumbersSize = 80;
constexpr int ServicePasswordAddr = 2038;
constexpr int PinAddr = 2042;
constexpr int SecretSize = 4;
constexpr int BitmapFXS = 12144;
constexpr int BitmapFXO = 12160;
constexpr int BitmapGSM = 12176;
constexpr int BitmapSize = 16;
constexpr int RoutingRows = 120;

constexpr int FirmwareSize = 61440;  // 0xF000
constexpr int FirmwareBlock = 2048;
constexpr int FirmwareBlocks = FirmwareSize / FirmwareBlock;  // 30
constexpr int DeviceDataAddr = 0xEE00;
constexpr int DeviceDataSize = 256;
constexpr int FirmwareVersionAddr = 0xEFF0;
constexpr int FirmwareChecksumAddr = 0xEFFC;

// The 32-bit sum of a firmware image's bytes before its checksum, and the
// checksum the image carries (little-endian). Fuzzing builds leave the sum
// uninstrumented: its 61,436 steps teach a fuzzer nothing and cost it most of
// an upgrade.
#if defined(__clang__)
#define KVX_NOT_FUZZED __attribute__((no_sanitize("coverage"), noinline))
#else
#define KVX_NOT_FUZZED
#endif
KVX_NOT_FUZZED inline uint32_t FirmwareSum(const uint8_t* firmware)
{
    uint32_t sum = 0;
    for (int i = 0; i < FirmwareChecksumAddr; ++i) sum += firmware[i];
    return sum;
}
inline uint32_t FirmwareStoredSum(const uint8_t* firmware)
{
    const uint8_t* c = firmware + FirmwareChecksumAddr;
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}
}  // namespace ImageLayout
