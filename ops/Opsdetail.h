// Pieces that the gateway operations' files share.
#pragma once
#include "Terminal.h"
#include "Gatewayops.h"

#include <algorithm>

namespace OpsDetail {
// Lets the progress bar follow the bytes of the replies that come in while it
// lives: from one mark at the first byte to the next at the `expected`th,
// never back (a retried reply counts from 0 again).
class TFollowBytes {
public:
    TFollowBytes(CCOMTerminal& terminal, TOperationUI& ui, int from, int to, int expected) : m_Terminal(terminal)
    {
        if (from < 0 || to < from || expected <= 0) return;
        m_Installed = true;
        terminal.m_OnReceive = [&ui, from, to, expected, shown = from](int count) mutable {
            const int pos = from + int(static_cast<long long>(to - from) * std::min(count, expected) / expected);
            if (pos <= shown) return;
            shown = pos;
            ui.SetProgressPos(pos);
        };
    }
    // Only its own follower goes: one that installed none leaves an outer one alone.
    ~TFollowBytes()
    {
        if (m_Installed) m_Terminal.m_OnReceive = nullptr;
    }
    TFollowBytes(const TFollowBytes&) = delete;
    TFollowBytes& operator=(const TFollowBytes&) = delete;

private:
    CCOMTerminal& m_Terminal;
    bool m_Installed = false;
};
}  // namespace OpsDetail
