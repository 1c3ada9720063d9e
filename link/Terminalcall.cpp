// The terminal's modem line: dialling through the telephony layer, the call's
// states, hang-up. The rest of the terminal is in Terminal.cpp.
#include "Terminal.h"

#include "Commonutils.h"
#include "Dialing.h"
#include "Globals.h"
#include "Hayesmodem.h"
#include "Language.h"
#include "Netport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {
// Dialling without a window: progress goes to the debug output, the modal wait is an event loop.
class TSilentDialingView : public TDialingView {
public:
    void Prepare() override {}
    void Hide() override {}
    void Add(const QString& message) override { qInfo("%s", qPrintable(message)); }
    void RunModal() override
    {
        QEventLoop loop;
        m_Loop = &loop;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(120000);
        loop.exec();
        m_Loop = nullptr;
    }
    void CloseModal() override
    {
        if (m_Loop) m_Loop->quit();
    }
    void CallEnded() override { CloseModal(); }
    bool Active() const override { return true; }

private:
    QEventLoop* m_Loop = nullptr;
};
}  // namespace

// ---------------------------------------------------------------- the terminal's modem line

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

bool CCOMTerminal::IncludeDevice(const QString& path)
{
    if (FindDevice(path) >= 0) return true;
    auto* modem = dynamic_cast<CHayesTelephony*>(m_Telephony.get());
    if (!modem || !(IsNetworkPort(path) || path.startsWith('/'))) return false;
    modem->AddDevice(path, path);
    RefreshDevices();
    return FindDevice(path) >= 0;
}

int CCOMTerminal::FindDevice(const QString& name) const
{
    for (int i = 0; i < m_DeviceCount; ++i)
        if (m_DeviceNames[size_t(i)] == name) return int(m_DeviceIds[size_t(i)]);
    return -1;
}

void CCOMTerminal::AddMessage(int entry, const QString& argument)
{
    QString text = Language().Text(m_TextIds[size_t(entry)]);
    if (!argument.isNull()) text = Substitute("%s '%s'", {text, argument});
    View().Add(text);
}

TDialingView& CCOMTerminal::View()
{
    if (m_View) return *m_View;
    if (!m_SilentView) m_SilentView = std::make_unique<TSilentDialingView>();
    return *m_SilentView;
}

void CCOMTerminal::Dial(const QString& device, const QString& number)
{
    TDialingView* view = &View();
    m_Number = number;
    if (m_Comm.Enabled()) m_Comm.Close();
    if (m_Comm.Enabled() || m_CallActive || !m_Telephony) return;
    view->Prepare();
    m_DialFailure.reset();
    // A modem named by its path (one behind a terminal server) need not be listed.
    IncludeDevice(device);
    if (auto* modem = dynamic_cast<CHayesTelephony*>(m_Telephony.get()))
        modem->m_ConnectTimeoutMs = m_Comm.ConnectTimeout;
    const int id = FindDevice(device);
    if (id < 0) {
        view->Hide();
        AddMessage(0, device);
        view->RunModal();
        return;
    }
    AddMessage(1, device);
    QCoreApplication::processEvents();
    if (!m_Telephony->OpenLine(unsigned(id),
                               [this](unsigned m, unsigned p1, unsigned p2) { LineCallback(m, p1, p2); })) {
        if (const ECommError* e = m_Telephony->LineFailure(); e && e->NetFailure != nfNone) {
            // A terminal server's port that cannot be reached: the caller says
            // which and why, as for a gateway's own network port.
            m_DialFailure = std::make_unique<CCOMTermExp>(OpenFailure(*e, device));
            view->Hide();
            return;
        }
        // A modem that does not answer its reset: say so and let the user close.
        AddMessage(3);
        view->RunModal();
        return;
    }
    QCoreApplication::processEvents();
    if (!view->Active()) {
        m_Telephony->CloseLine();
        return;
    }
    SetConnected(false);
    SetCallActive(false);
    if (!m_Telephony->MakeCall(number)) {
        m_Telephony->CloseLine();
        AddMessage(4);
        view->RunModal();
        return;
    }
    SetCallActive(true);
    view->RunModal();
    if (!m_Connected && m_CallActive) m_Telephony->Drop();
}

void CCOMTerminal::ReleaseCall()
{
    m_Comm.Close();
    if (m_Telephony) {
        m_Telephony->Deallocate();
        m_Telephony->CloseLine();
    }
    SetConnected(false);
    SetCallActive(false);
}

void CCOMTerminal::LineCallback(unsigned message, unsigned param1, unsigned param2)
{
    if (message == LINE_CLOSE) {
        if (m_CallActive) {
            ReleaseCall();
            AddMessage(3);
        }
        return;
    }
    if (message != LINE_CALLSTATE) return;
    switch (param1) {
    case LINECALLSTATE_CONNECTED: {
        std::unique_ptr<TTransport> line = m_Telephony ? m_Telephony->TakeCallLine() : nullptr;
        const int handle = line || !m_Telephony ? -1 : m_Telephony->TakeCallHandle();
        if (!line && handle < 0) {
            if (m_Telephony) m_Telephony->Drop();
            return;
        }
        try {
            m_Comm.SetReadBufSize(100000);
            m_Comm.SetWriteBufSize(100000);
            InstallHandlers();
            m_LineLost = false;
            m_Count = 0;
            if (line) m_Comm.OpenTAPI(std::move(line));
            else m_Comm.OpenTAPI(handle);
        } catch (const ECommError&) {
            if (m_Telephony) m_Telephony->Drop();
            return;
        }
        SetConnected(true);
        View().CloseModal();
        break;
    }
    case LINECALLSTATE_IDLE:
        AddMessage(4);
        if (m_CallActive) ReleaseCall();
        View().CallEnded();
        break;
    case LINECALLSTATE_DIALING: AddMessage(5, m_Number); break;
    case LINECALLSTATE_PROCEEDING: AddMessage(6); break;
    case LINECALLSTATE_DISCONNECTED:
        if (param2 == LINEDISCONNECTMODE_BUSY) AddMessage(6);
        else if (param2 == LINEDISCONNECTMODE_NOANSWER) AddMessage(7);
        else if (param2 == LINEDISCONNECTMODE_NODIALTONE) AddMessage(8);
        break;
    default: break;
    }
}

namespace {
const int kCallEndShownMs = 600;  // how long a hang-up shows that the call ended
}  // namespace

void CCOMTerminal::HangUp()
{
    m_Comm.Close();
    SetConnected(false);
    if (m_CallActive && m_Telephony) {
        TDialingView* view = &View();
        view->Prepare();
        AddMessage(2);
        m_Telephony->Drop();
        // The idle report that follows the drop releases the call and says it ended.
        PauseWithEvents(50);
        if (m_CallActive) {
            ReleaseCall();
            AddMessage(4);
        }
        // Nothing is left to wait for or cancel: the end stays in view a moment, then the window goes.
        if (m_View) {
            PauseWithEvents(kCallEndShownMs);
            view->Hide();
        }
    }
}
