// Layout of the gateway's configuration image and firmware image.
// Shared by the tool and the gateway simulator; nothing else is shared between them.
#pragma once
#include <cstddef>

namespace ImageLayout {
constexpr int ImageSize = 0x3000;          // 12288 bytes
constexpr int Block1Start = 0;
constexpr int Block1Size = 2048;           // checksum in the last two bytes
constexpr int Block2Start = 4096;
constexpr int Block2Size = 8192;           // checksum in the last two bytes
constexpr int Block2Piece = 2048;          // block 2 is written in four pieces
constexpr int ModemNumbersStart = 928;     // remote supervision entries, compared before a write
constexpr int ModemNumbersSize = 80;
constexpr int ServisPasswAddr = 2038;
constexpr int PinAddr = 2042;
constexpr int SecretSize = 4;
constexpr int BitmapFXS = 12144;
constexpr int BitmapFXO = 12160;
constexpr int BitmapGSM = 12176;
constexpr int BitmapSize = 16;
constexpr int RoutingRows = 120;

constexpr int FirmwareSize = 61440;        // 0xF000
constexpr int FirmwareBlock = 2048;
constexpr int FirmwareBlocks = FirmwareSize / FirmwareBlock;  // 30
constexpr int DeviceDataAddr = 0xEE00;
constexpr int DeviceDataSize = 256;
constexpr int FirmwareVersionAddr = 0xEFF0;
constexpr int FirmwareChecksumAddr = 0xEFFC;
}  // namespace ImageLayout
