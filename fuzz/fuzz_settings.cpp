// The settings file: any bytes read without harm; what was read is written and
// read back the same, and writing keeps every other line of the file.
#include "Appsettings.h"
#include "fuzzsupport.h"

#include <QFile>

#include <algorithm>
#include <string>
#include <vector>

namespace {
// Keys the program writes into section Settings.
const char* const kKeys[] = {"com",         "actlanguage", "left",    "top",       "height",     "width",
                             "modemnumber", "ismodem",     "modemid", "modeminit", "modempulse", "keepcopies"};

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The file's lines; the reader's way with byte-order marks at the start
// (the program writes none).
std::vector<std::string> Lines(std::string bytes, bool readerMark = true)
{
    while (readerMark && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string l = bytes.substr(pos, end - pos);
        // Stray carriage returns at a line's end are not the line's content.
        while (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
        pos = end + 1;
    }
    return lines;
}

// A line that may hold one of the keys the program writes.
bool WrittenKey(const std::string& line)
{
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    const size_t eq = line.find('=', b);
    if (eq == std::string::npos) return false;
    std::string key = line.substr(b, eq - b);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    key = Lower(key);
    return std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys);
}

// A text one line of the file can hold: every one but those with line breaks
// (spaces at the ends and quotes are kept by quoting).
bool Plain(const QString& s)
{
    for (const QChar c : s)
        if (c == '\r' || c == '\n' || c == QChar(0)) return false;
    return true;
}

std::string ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzInitApp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const QString path = FuzzScratch() + "KorvanextWin.ini";
    const QString again = FuzzScratch() + "again.ini";
    FUZZ_CHECK(FuzzWriteFile(path, bytes));

    TAppSettings s;
    s.Read(path, 1920, 1080);

    // Writing onto the file keeps its other lines, in their order.
    FUZZ_CHECK(s.Write(path));
    const std::vector<std::string> out = Lines(ReadAll(path), false);
    size_t at = 0;
    for (const std::string& line : Lines(bytes)) {
        if (WrittenKey(line)) continue;
        while (at < out.size() && out[at] != line) ++at;
        FUZZ_CHECK(at < out.size());
        ++at;
    }

    // What was read comes back as it was.
    TAppSettings t;
    t.Read(path, 1920, 1080);
    FUZZ_CHECK(t.ActLanguage == s.ActLanguage && t.Left == s.Left && t.Top == s.Top);
    FUZZ_CHECK(t.Height == s.Height && t.Width == s.Width && t.IsModem == s.IsModem && t.ModemPulse == s.ModemPulse);
    FUZZ_CHECK(t.KeepCopies == s.KeepCopies);
    for (const auto& [a, b] :
         {std::pair{s.Com, t.Com}, {s.ModemNumber, t.ModemNumber}, {s.ModemId, t.ModemId}, {s.ModemInit, t.ModemInit}})
        if (Plain(a)) FUZZ_CHECK(a == b);

    // A file the program wrote itself reads the same and is written the same again.
    QFile::remove(again);
    FUZZ_CHECK(t.Write(again));
    TAppSettings u;
    u.Read(again, 1920, 1080);
    FUZZ_CHECK(u.Write(again));
    if (Plain(t.Com) && Plain(t.ModemNumber) && Plain(t.ModemId) && Plain(t.ModemInit)) {
        FUZZ_CHECK(u.Com == t.Com && u.ModemNumber == t.ModemNumber && u.ModemId == t.ModemId &&
                   u.ModemInit == t.ModemInit);
        const std::string first = ReadAll(again);
        FUZZ_CHECK(u.Write(again));
        FUZZ_CHECK(ReadAll(again) == first);
    }
    return 0;
}
