#include "Clireport.h"

#include "Cliexit.h"
#include "Commonutils.h"

#include <QJsonDocument>
#include <algorithm>
#include <cassert>
#include <cstdio>

namespace {
TCliReport* g_Report = nullptr;
}

TCliReport::TCliReport(const QStringList& arguments)
    : m_Json(std::any_of(arguments.begin(), arguments.end(),
                         [](const QString& a) { return a.startsWith("--json") || a.startsWith("-json"); }))
{
    assert(!g_Report);
    g_Report = this;
}

TCliReport& Report()
{
    assert(g_Report);
    return *g_Report;
}

void TCliReport::Add(const QJsonObject& fields)
{
    for (auto it = fields.begin(); it != fields.end(); ++it) m_Fields[it.key()] = it.value();
}

void TCliReport::Error(const QString& message)
{
    std::fprintf(stderr, "korvanext-cli: %s\n", qPrintable(ShownText(message)));
    m_Error = message;
}

int TCliReport::Finish(int code) const
{
    if (!m_Json) return code;
    QJsonObject doc = m_Fields;
    doc["exit"] = code;
    if (!doc.contains("result")) doc["result"] = ResultName(code);  // a command may name its own
    doc["error"] = code == kOk ? QJsonValue() : QJsonValue(m_Error.isEmpty() ? QString(ResultName(code)) : m_Error);
    std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Indented).constData(), stdout);
    return code;
}

int Fail(int code, const QString& message)
{
    Report().Error(message);
    return code;
}

QString Quoted(const QString& path) { return "'" + path + "'"; }
