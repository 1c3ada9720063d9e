// Writes a firmware image for trying the upgrade with the simulator: the
// given version, an empty device data block (the gateway's own is used) and
// the image checksum.
#include "Common/Imagelayout.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

using namespace ImageLayout;

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: korvanext-mkfirmware FILE VERSION\n");
        return 1;
    }
    std::vector<unsigned char> img(FirmwareSize, 0);
    for (int i = 0; i < DeviceDataAddr; ++i) img[size_t(i)] = static_cast<unsigned char>((i * 131 + 7) >> 3);
    std::strncpy(reinterpret_cast<char*>(img.data() + FirmwareVersionAddr), argv[2], 11);
    const uint32_t sum = FirmwareSum(img.data());
    for (int i = 0; i < 4; ++i) img[size_t(FirmwareChecksumAddr + i)] = static_cast<unsigned char>(sum >> (8 * i));
    std::ofstream f(argv[1], std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
    return f ? 0 : 2;
}
