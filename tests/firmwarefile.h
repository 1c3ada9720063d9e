// Firmware files for the upgrade's tests, laid out as a supplier ships them:
// content, an empty or own device data block, the version and the checksum.
#pragma once
#include "Imagelayout.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>

inline QByteArray FirmwareBytes(const char* version, bool ownDeviceData = false)
{
    using namespace ImageLayout;
    QByteArray image(FirmwareSize, '\0');
    auto* p = reinterpret_cast<uint8_t*>(image.data());
    for (int i = 0; i < DeviceDataAddr; ++i) p[i] = uint8_t(i * 13 + 1);
    if (ownDeviceData) std::memset(p + DeviceDataAddr, 0x5A, DeviceDataSize);
    std::strncpy(reinterpret_cast<char*>(p + FirmwareVersionAddr), version, 11);
    const uint32_t sum = FirmwareSum(p);
    for (int i = 0; i < 4; ++i) p[FirmwareChecksumAddr + i] = uint8_t(sum >> (8 * i));
    return image;
}

// One byte of the content changed after the checksum was made.
inline QByteArray Damaged(QByteArray image)
{
    image[1000] = char(image[1000] ^ 0x10);
    return image;
}

inline bool WriteFirmwareFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
