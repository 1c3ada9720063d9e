// INI files and language values: any bytes read without harm.
#include "Language.h"
#include "Profile.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CIniFile ini;
    ini.LoadFromBytes(bytes);
    (void)ini.ReadInteger("Settings", "NumberOfLang", 0);
    for (int n = 0; n < 8; ++n) {
        const std::string key = "S" + std::to_string(n);
        (void)CLanguage::Unescape(ini.ReadString("Main", key, key));
        (void)ini.KeyExists("Main", key + "_0");
    }
    ini.WriteString("Settings", "Com", "Com3");
    CIniFile again;
    again.LoadFromBytes(ini.ToBytes());
    if (again.ReadString("Settings", "Com", "") != "Com3") __builtin_trap();
    (void)CLanguage::Unescape(bytes);
    return 0;
}
