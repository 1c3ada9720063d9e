// The simulated gateway's firmware receiver: each "K" block acknowledged with
// its CRC (or a wrong one, as a fault asks), a complete sound image installed.
#include "Gatewaysim.h"

#include "Common/Imagelayout.h"

#include <algorithm>
#include <cstring>

using namespace ImageLayout;

namespace {

uint32_t GatewayCrc(const uint8_t* p, size_t n)
{
    uint32_t c = 0xFFFFFFFFu;
    while (n--) {
        c ^= *p++;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

}  // namespace

void CGatewaySim::ReceiveFirmwareBlock()
{
    m_State = TState::Idle;
    const int addr = m_Collect[0] << 8 | m_Collect[1];
    uint32_t crc = GatewayCrc(m_Collect.data() + 2, FirmwareBlock);
    bool refused = false;
    if (m_BadFirmwareAck != 0) {
        if (m_BadFirmwareAck > 0) --m_BadFirmwareAck;
        refused = true;
    } else if (m_BlockRefusals[addr] < m_RefuseEachBlock) {
        ++m_BlockRefusals[addr];
        refused = true;
    }
    if (addr % FirmwareBlock == 0 && addr + FirmwareBlock <= FirmwareSize) {
        std::copy(m_Collect.begin() + 2, m_Collect.end(), m_Firmware.begin() + addr);
        ++m_FirmwareBlocks;
        // A refused block does not count towards a complete image.
        if (!refused) m_FirmwareSeen.insert(addr);
    }
    if (refused) crc ^= 0x5A5A5A5A;
    const uint8_t ack[7] = {
        'K', m_Collect[0], m_Collect[1], uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
    Send(ack, sizeof ack);
    if (int(m_FirmwareSeen.size()) == ImageLayout::FirmwareBlocks) {
        // A complete image with a sound checksum replaces the running firmware.
        // One that keeps its firmware acknowledges everything and stays as it was.
        if (!m_KeepFirmware && FirmwareSum(m_Firmware.data()) == FirmwareStoredSum(m_Firmware.data())) {
            const char* v = reinterpret_cast<const char*>(m_Firmware.data() + FirmwareVersionAddr);
            m_Version = std::string(v, strnlen(v, 12));
            Log("firmware " + m_Version + " installed");
        }
        m_FirmwareSeen.clear();
        m_BlockRefusals.clear();
    }
}
