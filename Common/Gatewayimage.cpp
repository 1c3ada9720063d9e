#include "Gatewayimage.h"

#include "Commonutils.h"
#include "Imagelayout.h"
#include "Parameters.h"

#include <cstring>

using namespace ImageLayout;

static void FillBitmap(const CParameters& p, const char* key, uint8_t* bitmap)
{
    std::memset(bitmap, 0, BitmapSize);
    for (int i = 0; i < RoutingRows; ++i)
        if (!p.GetValue(key, i).empty()) bitmap[i / 8] |= uint8_t(1u << (i % 8));
}

namespace {
struct TUsedBitmap {
    const char* key;  // the routing number column whose entries it marks
    int address;
};
constexpr TUsedBitmap kUsedBitmaps[] = {{"FXSNumBegin", BitmapFXS}, {"FXONumBegin", BitmapFXO}, {"GSMNum", BitmapGSM}};
}  // namespace

void FillUsedBitmaps(const CParameters& parameters, uint8_t* image)
{
    for (const TUsedBitmap& b : kUsedBitmaps) FillBitmap(parameters, b.key, image + b.address);
}

int UsedBitmapOf(const std::string& key)
{
    for (const TUsedBitmap& b : kUsedBitmaps)
        if (key == b.key) return b.address;
    return -1;
}

static void PutChecksum(uint8_t* block, int size)
{
    const uint16_t sum = BlockChecksum(block, size_t(size - 2));
    block[size - 2] = uint8_t(sum);
    block[size - 1] = uint8_t(sum >> 8);
}

static bool ChecksumOk(const uint8_t* block, int size)
{
    return BlockChecksum(block, size_t(size - 2)) == uint16_t(block[size - 2] | block[size - 1] << 8);
}

void WriteChecksums(uint8_t* image)
{
    PutChecksum(image + Block1Start, Block1Size);
    PutChecksum(image + Block2Start, Block2Size);
}

bool Block1Valid(const uint8_t* image) { return ChecksumOk(image + Block1Start, Block1Size); }
bool Block2Valid(const uint8_t* image) { return ChecksumOk(image + Block2Start, Block2Size); }

std::vector<uint8_t> GatewayImage(const CParameters& parameters)
{
    std::vector<uint8_t> image(ImageSize);
    parameters.ToImage(image.data(), ImageSize);
    FillUsedBitmaps(parameters, image.data());
    WriteChecksums(image.data());
    return image;
}
