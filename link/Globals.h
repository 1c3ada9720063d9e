// The three objects that live for the whole run: the parameter registry, the
// language tables and the command terminal. TGlobalObjects creates them (after
// the application object) and destroys them; the accessors reach them.
#pragma once
#include <memory>

class CParameters;
class CLanguage;
class CCOMTerminal;

CParameters& Parameters();
CLanguage& Language();
CCOMTerminal& Terminal();

class TGlobalObjects {
public:
    TGlobalObjects();
    ~TGlobalObjects();
    TGlobalObjects(const TGlobalObjects&) = delete;
    TGlobalObjects& operator=(const TGlobalObjects&) = delete;

private:
    std::unique_ptr<CParameters> m_Parameters;
    std::unique_ptr<CLanguage> m_Language;
    std::unique_ptr<CCOMTerminal> m_Terminal;
};
