// The questions of korvanext-cli by the names --agree takes: scripts and
// playbooks rely on them, so a name never changes.
#pragma once
#include "Gatewayops.h"

#include <QString>
#include <QStringList>

// The name of a question, e.g. "other-serial".
QString QuestionName(TQuestion question);
// Every name, in the order the help lists them.
QStringList QuestionNames();
// The names of --agree (each value a comma-separated list) into `agreed`: 0, or
// the exit status after saying why not.
int ParseAgreed(const QStringList& values, QStringList& agreed);
