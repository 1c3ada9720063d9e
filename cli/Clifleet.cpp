#include "Clifleet.h"

#include "Cliconsole.h"
#include "Cliexit.h"
#include "Clireport.h"
#include "Commonutils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
struct TGateway {
    QString port;
    std::unique_ptr<QProcess> process;
    QElapsedTimer clock;
    double seconds = 0;
    bool finished = false;
    int exit = kOk;
    QByteArray errorTail;  // an unfinished line of the run's error output
    QJsonObject report;    // the run's own JSON document
    bool killed = false;   // ended by a signal, without its report
};

void PassLines(TGateway& g, const QByteArray& bytes, bool flush)
{
    g.errorTail += bytes;
    int end;
    while ((end = g.errorTail.indexOf('\n')) >= 0) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(g.port), g.errorTail.left(end).constData());
        g.errorTail.remove(0, end + 1);
    }
    if (flush && !g.errorTail.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(g.port), g.errorTail.constData());
        g.errorTail.clear();
    }
}

QString Field(const QJsonObject& o, const char* key)
{
    const QString v = o.value(key).toString();
    return v.isEmpty() ? QString("-") : ShownText(v);
}

// A run that was killed may have been anywhere in a write.
bool MayHoldPart(const TGateway& g) { return g.killed || g.report.value("partial").toBool(); }

// The result a run names itself (apply: unchanged, changed, would change, declined,
// failed; write: unchanged, changed), else the name of its exit status.
QString Result(const TGateway& g)
{
    QString own = g.report.value("result").toString();
    if (own.isEmpty() || g.killed) return ResultName(g.exit);
    own.replace('-', ' ');
    const QString cause = ResultName(g.exit);
    if (own == "failed" && cause != own) own += " (" + cause + ")";
    const QString question = g.report.value("declinedQuestion").toString();
    if (!question.isEmpty()) own += " (" + question + ")";
    return ShownText(own);
}

QStringList Files(const QJsonObject& o)
{
    QStringList files;
    if (o.contains("file")) files << o.value("file").toString();
    for (const QJsonValue& f : o.value("files").toArray()) files << f.toString();
    return files;
}
}  // namespace

int RunFleet(const TFleetRun& run, std::atomic<bool>& interrupt)
{
    std::vector<TGateway> gateways(size_t(run.ports.size()));
    int running = 0;
    QEventLoop loop;
    // At most run.jobs runs at once (each holds a port, a process and its
    // output); the rest wait their turn. After an interrupt none is started.
    size_t next = 0;
    std::function<void()> startNext = [&] {
        // Taken off the queue before it starts: a start that fails at once comes back here.
        while (next < gateways.size() && (running < std::max(run.jobs, 1) || interrupt)) {
            TGateway& g = gateways[next++];
            if (interrupt) {
                g.finished = true;
                g.exit = kInterrupted;
                continue;
            }
            g.clock.start();
            ++running;
            g.process->start();
        }
        if (running == 0) loop.quit();
    };
    for (int i = 0; i < run.ports.size(); ++i) {
        TGateway& g = gateways[size_t(i)];
        g.port = run.ports[i];
        g.process = std::make_unique<QProcess>();
        QProcess* p = g.process.get();
        p->setProgram(QCoreApplication::applicationFilePath());
        p->setArguments(QStringList{run.command} + run.arguments + QStringList{"--port", g.port, "--json"});
        QObject::connect(p, &QProcess::readyReadStandardError,
                         [&g] { PassLines(g, g.process->readAllStandardError(), false); });
        QObject::connect(p, &QProcess::finished, [&g, &running, &startNext](int code, QProcess::ExitStatus status) {
            g.seconds = g.clock.elapsed() / 1000.0;
            g.finished = true;
            PassLines(g, g.process->readAllStandardError(), true);
            g.report = QJsonDocument::fromJson(g.process->readAllStandardOutput()).object();
            // A run killed by a signal did not finish its operation.
            g.killed = status != QProcess::NormalExit;
            g.exit = g.killed ? kInterrupted : code;
            --running;
            startNext();
        });
        QObject::connect(p, &QProcess::errorOccurred, [&g, &running, &startNext](QProcess::ProcessError e) {
            if (e != QProcess::FailedToStart) return;
            g.finished = true;
            g.exit = kUsage;
            std::fprintf(stderr, "%s: korvanext-cli cannot be started: %s\n", qPrintable(g.port),
                         qPrintable(g.process->errorString()));
            --running;
            startNext();
        });
        // A run never outlives this program: killed even by SIGKILL, its runs
        // are told with SIGTERM: a write under way finishes, anything else stops.
        const pid_t parent = ::getpid();
        p->setChildProcessModifier([parent] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::raise(SIGTERM);  // it died before that was asked
        });
    }
    // An interrupt reaches every run as it came (a second one too), and each
    // run finishes its block in flight, releases its gateway and ends.
    QTimer watch;
    int passedOn = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!interrupt || passedOn >= InterruptCount()) return;
        passedOn = InterruptCount();
        for (TGateway& g : gateways)
            if (!g.finished && g.process->processId() > 0) ::kill(pid_t(g.process->processId()), InterruptSignal());
    });
    watch.start(100);
    startNext();
    if (running > 0) loop.exec();

    int worst = kOk;
    // Differences are no failure: any failure outranks them, whatever its number.
    const auto rank = [](int code) { return code == kDiffers ? 1 : code == kOk ? 0 : code + 1; };
    for (const TGateway& g : gateways)
        if (rank(g.exit) > rank(worst)) worst = g.exit;

    // Two gateways reporting one serial number: the summary names them (their
    // files were kept apart, the port's name added to the later one).
    QMap<QString, QStringList> bySerial;
    bool files = false;
    for (const TGateway& g : gateways)
        if (!g.report.value("serial").toString().isEmpty()) {
            bySerial[g.report.value("serial").toString()] << g.port;
            files = files || !Files(g.report).isEmpty();
        }
    QJsonArray duplicates;
    for (auto it = bySerial.cbegin(); it != bySerial.cend(); ++it)
        if (it.value().size() > 1) {
            duplicates.append(QJsonObject{{"serial", it.key()}, {"ports", QJsonArray::fromStringList(it.value())}});
            std::fprintf(stderr, "korvanext-cli: ports %s report the same serial number %s%s\n",
                         qPrintable(ShownText(it.value().join(", "))), qPrintable(ShownText(it.key())),
                         files ? ": each has a file of its own, see FILES" : "");
        }
    if (!duplicates.isEmpty()) Report().Add({{"duplicates", duplicates}});
    QStringList failures;
    for (const TGateway& g : gateways)
        if (g.exit != kOk)
            failures << g.port + ": " +
                            (g.report.value("error").toString().isEmpty() ? QString(ResultName(g.exit))
                                                                          : g.report.value("error").toString());
    if (!failures.isEmpty()) Report().KeepError(failures.join("; "));

    if (run.json) {
        QJsonArray list;
        for (const TGateway& g : gateways) {
            QJsonObject o = g.report;
            o["port"] = g.port;
            o["exit"] = g.exit;
            // apply names its own result (unchanged, changed, ...).
            if (!o.contains("result") || g.exit != kOk) o["result"] = ResultName(g.exit);
            o["seconds"] = double(qRound(g.seconds * 10)) / 10;
            if (run.command == "write") o["partial"] = MayHoldPart(g);
            list.append(o);
        }
        Report().Add({{"gateways", list}});
        return worst;
    }
    QStringList header{"PORT", "SERIAL", "FIRMWARE", "RESULT", "TIME", "FILES"};
    // A write says of each gateway whether it may hold part of the file.
    const bool partial = run.command == "write";
    if (partial) header.insert(4, "PARTIAL");
    std::vector<QStringList> rows{header};
    for (const TGateway& g : gateways) {
        QStringList row{g.port,
                        Field(g.report, "serial"),
                        Field(g.report, "firmware"),
                        Result(g),
                        QString::asprintf("%.1f s", g.seconds),
                        ShownText(Files(g.report).join(' '))};
        if (partial) row.insert(4, MayHoldPart(g) ? "yes" : "no");
        rows.push_back(row);
    }
    std::vector<int> width(size_t(header.size()), 0);
    for (const QStringList& r : rows)
        for (int c = 0; c < r.size(); ++c) width[size_t(c)] = std::max(width[size_t(c)], int(r[c].size()));
    for (const QStringList& r : rows) {
        QString line;
        for (int c = 0; c < r.size(); ++c) line += c + 1 < r.size() ? r[c].leftJustified(width[size_t(c)] + 2) : r[c];
        std::printf("%s\n", qPrintable(line.trimmed()));
    }
    return worst;
}
