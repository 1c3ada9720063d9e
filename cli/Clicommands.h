// The commands of korvanext-cli: what each takes and does, and their help.
#pragma once
#include "Clioptions.h"

#include <cstdio>
#include <vector>

// Configuration files, images and sheets, without a gateway (Clifilecommands.cpp).
int CmdKeys(TOptions& o);
int CmdDefaults(TOptions& o);
int CmdEncode(TOptions& o);
int CmdDecode(TOptions& o);
int CmdGet(TOptions& o);
int CmdSet(TOptions& o);
int CmdDiff(TOptions& o);
int CmdSheet(TOptions& o);
// The gateway and the copies kept of it (Cligatewaycommands.cpp).
int CmdIdentify(TOptions& o);
int CmdRead(TOptions& o);
int CmdWrite(TOptions& o);
int CmdCompare(TOptions& o);
int CmdBackups(TOptions& o);
int CmdBackup(TOptions& o);
int CmdUpgrade(TOptions& o);
int CmdSignal(TOptions& o);
int CmdApply(TOptions& o);

struct TCommand {
    const char* name;
    const char* args;
    const char* help;
    TGroup group;
    int minArgs;
    int maxArgs;  // -1: any number
    int (*run)(TOptions&);
};

const std::vector<TCommand>& Commands();

// The whole help, and one command's.
void Usage(FILE* out);
void CommandUsage(const TCommand& c);
