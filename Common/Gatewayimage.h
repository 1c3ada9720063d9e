// What a write to the gateway adds to the encoded registry: the routing tables'
// used-entry bitmaps and the checksums of both blocks.
#pragma once
#include <cstdint>

#include <string>
#include <vector>

class CParameters;

// The registry encoded as a write sends it: image, used-entry bitmaps, checksums.
std::vector<uint8_t> GatewayImage(const CParameters& parameters);

void FillUsedBitmaps(const CParameters& parameters, uint8_t* image);
// The image address of the used-entry bitmap that a routing number column keeps, or -1.
int UsedBitmapOf(const std::string& key);
void WriteChecksums(uint8_t* image);
// Checksum of block 1 (bytes 0..2045 against 2046/2047) or block 2 (4096..12285 against 12286/12287).
bool Block1Valid(const uint8_t* image);
bool Block2Valid(const uint8_t* image);
