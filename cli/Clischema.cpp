#include "Clischema.h"

#include "Captions.h"
#include "Catalogue.h"
#include "Cliexit.h"
#include "Clireport.h"
#include "Commonutils.h"
#include "Globals.h"
#include "Imagelayout.h"
#include "Language.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>

using namespace ImageLayout;

TChoices ChoicesOf(const std::string& key)
{
    const CCaptions::TCaption* c = BuiltInCaptions().Find(key);
    if (!c || c->show != CCaptions::TShow::List) return {};
    const bool texts = Language().LanguageCount() > 0;
    TChoices choices;
    for (size_t j = 0; j < c->values.size(); ++j)
        choices.push_back({c->values[j], texts ? Language().Item(c->list, int(j)).trimmed() : QString()});
    return choices;
}

namespace {
int BlockOf(int address) { return address < 0 ? 0 : address < Block1Size ? 1 : 2; }

// A write that changes a supervision number asks first (the gateway reports to them).
bool AsksFirst(int address) { return address >= ModemNumbersStart && address < ModemNumbersStart + ModemNumbersSize; }
}  // namespace

int RunSchema(bool json)
{
    TGlobalObjects globals;
    Language().InitEnglish(ProgramFolder());
    BuildCatalogue(Parameters());
    QJsonArray settings;
    for (const auto& [key, rc] : Parameters().Entries()) {
        const CParBasic& par = *rc.Par;
        if (par.m_Address < 0) continue;  // identification: read, never set
        const TChoices choices = ChoicesOf(key);
        QJsonObject j{{"key", QString::fromStdString(key)},
                      {"type", par.ClassName()},
                      {"rows", rc.Count},
                      {"default", SecretSetting(key) ? QString() : FromBytes(par.m_Default)},
                      {"block", BlockOf(par.m_Address)},
                      {"secret", SecretSetting(key)},
                      {"asks", AsksFirst(par.m_Address)},
                      {"allowed", AllowedText(par, choices)}};
        QString limits;
        if (const CParInt* n = NumberTypeOf(par)) {
            j["min"] = n->m_Min;
            j["max"] = n->m_Max;
            j["step"] = std::max(n->m_Step, 1);
            limits = QString("%1..%2/%3").arg(n->m_Min).arg(n->m_Max).arg(std::max(n->m_Step, 1));
        } else if (const auto* t = dynamic_cast<const CParString*>(&par)) {
            j["length"] = t->m_MaxSize;
            limits = QString("length %1").arg(t->m_MaxSize);
        }
        if (!choices.empty()) {
            QJsonArray list;
            QStringList shown;
            for (const TChoice& c : choices) {
                list.append(QJsonObject{{"value", c.value}, {"caption", c.caption}});
                shown << QString("%1=%2").arg(c.value).arg(c.caption);
            }
            j["choices"] = list;
            limits = shown.join('|');
        }
        settings.append(j);
        if (!json) {
            QStringList flags;
            if (SecretSetting(key)) flags << "secret";
            if (AsksFirst(par.m_Address)) flags << "asks";
            std::printf(
                "%s\t%s\t%s\t%d\t%s\tblock %d\t%s\n", key.c_str(), par.ClassName(),
                ShownText(limits).toLocal8Bit().constData(), rc.Count,
                qPrintable("default=" + ShownText(FromBytes(SecretSetting(key) ? std::string() : par.m_Default))),
                BlockOf(par.m_Address), flags.isEmpty() ? "-" : qPrintable(flags.join(',')));
        }
    }
    Report().Add({{"settings", settings}});
    return kOk;
}
