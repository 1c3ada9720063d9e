#include "Cliquestions.h"

#include "Cliexit.h"
#include "Clireport.h"

namespace {
const struct {
    TQuestion question;
    const char* name;
} kQuestions[] = {
    {TQuestion::NotAsShown, "not-as-shown"},
    {TQuestion::OtherSerial, "other-serial"},
    {TQuestion::SupervisionNumbers, "supervision-numbers"},
    {TQuestion::NewerFirmware, "newer-firmware"},
    {TQuestion::SameFirmware, "same-firmware"},
    {TQuestion::OlderFirmware, "older-firmware"},
};
}  // namespace

QString QuestionName(TQuestion question)
{
    for (const auto& q : kQuestions)
        if (q.question == question) return q.name;
    return {};
}

QStringList QuestionNames()
{
    QStringList names;
    for (const auto& q : kQuestions) names << q.name;
    return names;
}

int ParseAgreed(const QStringList& values, QStringList& agreed)
{
    agreed.clear();
    const QStringList known = QuestionNames();
    for (const QString& list : values)
        for (const QString& given : list.split(',', Qt::SkipEmptyParts)) {
            const QString name = given.trimmed();
            if (!known.contains(name))
                return Fail(kUsage, "--agree: there is no question " + Quoted(name) + "; the questions are " +
                                        known.join(", "));
            if (!agreed.contains(name)) agreed << name;
        }
    if (agreed.isEmpty()) return Fail(kUsage, "--agree needs NAME[,NAME...], of " + known.join(", "));
    return kOk;
}
