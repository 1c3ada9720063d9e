#include "Comdialing.h"

#include "Comterminal.h"

namespace {
// No telephony devices: the modem road is unavailable.
class CNoTelephony : public CTelephony {
public:
    std::vector<TLineDevice> Devices() override { return {}; }
    bool OpenLine(unsigned, TCallback) override { return false; }
    bool MakeCall(const QString&) override { return false; }
    int TakeCallHandle() override { return -1; }
    void Drop() override {}
    void Deallocate() override {}
    void CloseLine() override {}
    void ConfigDialog(QWidget*, unsigned) override {}
};
}  // namespace

std::unique_ptr<CTelephony> CreateDefaultTelephony() { return std::make_unique<CNoTelephony>(); }

void CCOMTerminal::SetTelephony(std::unique_ptr<CTelephony> telephony)
{
    m_Telephony = std::move(telephony);
    RefreshDevices();
}

void CCOMTerminal::RefreshDevices()
{
    m_DeviceNames.clear();
    m_DeviceIds.clear();
    if (m_Telephony) {
        for (const TLineDevice& d : m_Telephony->Devices()) {
            if (!(d.bearerModes & LINEBEARERMODE_VOICE) || !(d.mediaModes & LINEMEDIAMODE_DATAMODEM)) continue;
            m_DeviceNames.push_back(d.name);
            m_DeviceIds.push_back(d.id);
            if (int(m_DeviceNames.size()) >= MaxDevices) break;
        }
    }
    m_DeviceCount = int(m_DeviceNames.size());
}

int CCOMTerminal::FindDevice(const QString& name) const
{
    for (int i = 0; i < m_DeviceCount; ++i)
        if (m_DeviceNames[size_t(i)] == name) return int(m_DeviceIds[size_t(i)]);
    return -1;
}

void CCOMTerminal::ConfigureDevice(QWidget* owner, const QString& name)
{
    const int id = FindDevice(name);
    if (id >= 0 && m_Telephony) m_Telephony->ConfigDialog(owner, unsigned(id));
}

void CCOMTerminal::Dial(const QString& /*device*/, const QString& number) { m_Number = number; }

void CCOMTerminal::HangUp()
{
    if (m_Comm.Enabled()) Close();
    SetConnected(false);
}
