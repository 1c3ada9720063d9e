#include "Globals.h"

#include "Terminal.h"
#include "Language.h"
#include "Parameters.h"

#include <cstdlib>
#include <cstdio>

static CParameters* g_Parameters = nullptr;
static CLanguage* g_Language = nullptr;
static CCOMTerminal* g_Terminal = nullptr;

template <class T> static T& Checked(T* p, const char* name)
{
    if (!p) {
        std::fprintf(stderr, "%s used before the global objects were created\n", name);
        std::abort();
    }
    return *p;
}

CParameters& Parameters() { return Checked(g_Parameters, "CParameters"); }
CLanguage& Language() { return Checked(g_Language, "CLanguage"); }
CCOMTerminal& Terminal() { return Checked(g_Terminal, "CCOMTerminal"); }

TGlobalObjects::TGlobalObjects()
    : m_Parameters(std::make_unique<CParameters>()),
      m_Language(std::make_unique<CLanguage>()),
      m_Terminal(std::make_unique<CCOMTerminal>())
{
    g_Parameters = m_Parameters.get();
    g_Language = m_Language.get();
    g_Terminal = m_Terminal.get();
}

TGlobalObjects::~TGlobalObjects()
{
    g_Terminal = nullptr;
    g_Language = nullptr;
    g_Parameters = nullptr;
}
