// What the fuzz targets share: the application object, a reader of the fuzz
// input, a pseudo-terminal standing for the line, and a scratch folder.
#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>

class CParameters;

// Creates the application object once (the terminal and the modem layer need
// its event loop) and silences the program's debug output.
void FuzzInitApp(int* argc, char*** argv);

// Crashes with the reason on standard error, so the finding names its invariant.
[[noreturn]] void FuzzFail(const char* what);
#define FUZZ_CHECK(cond)                                          \
    do {                                                          \
        if (!(cond)) FuzzFail(__FILE__ ": check failed: " #cond); \
    } while (0)

// Consumes the input front to back; past the end every read gives zeros.
class TFuzzInput {
public:
    TFuzzInput(const uint8_t* data, size_t size) : m_Data(data), m_Size(size) {}
    bool Empty() const { return m_Pos >= m_Size; }
    size_t Left() const { return m_Pos < m_Size ? m_Size - m_Pos : 0; }
    uint8_t Byte() { return m_Pos < m_Size ? m_Data[m_Pos++] : 0; }
    int Word() { return Byte() | Byte() << 8; }
    // At most max bytes, the count taken from one byte.
    std::string Text(size_t max = 255);
    std::string Bytes(size_t n);

private:
    const uint8_t* m_Data;
    size_t m_Size;
    size_t m_Pos = 0;
};

// A pseudo-terminal pair: the tool opens or adopts the device side, the far
// end reads and writes the controlling side. Both are raw and non-blocking.
class TFuzzLine {
public:
    TFuzzLine() = default;
    ~TFuzzLine();
    TFuzzLine(const TFuzzLine&) = delete;
    TFuzzLine& operator=(const TFuzzLine&) = delete;

    bool Open();
    // The device side, opened once more; the caller owns the descriptor.
    int OpenDevice() const;
    const std::string& DevicePath() const { return m_Path; }
    // What the tool wrote since the last call; nothing once the line is gone.
    std::string Read();
    // Queues bytes for the tool and writes as much as the line takes now.
    void Write(const std::string& bytes);
    void Flush();
    bool Pending() const { return !m_Out.empty(); }
    // Hangs the line up: the tool sees it lost.
    void Hangup();
    bool Up() const { return m_Master >= 0; }

private:
    int m_Master = -1;
    std::string m_Path;
    std::string m_Out;
};

// The oracles below visit every value of the registry, thousands per input, the
// same way for every input: their branches would teach the fuzzer nothing and
// their tracing would cost it much of its time, so they stay uninstrumented.

// Every value of the registry (or of the settings without a place in the image)
// is as its type would store it.
bool Normalised(const CParameters& p, bool outsideImageOnly = false);

// A fingerprint of the registry's values, or of those the image holds, for the
// checks that an operation left them alone (a copy would cost thousands of
// strings an input).
struct TValuesDigest {
    uint64_t image = 0;  // the settings with a place in the image
    uint64_t all = 0;
    bool operator==(const TValuesDigest& o) const { return image == o.image && all == o.all; }
};
TValuesDigest DigestValues(const CParameters& p);

// The heap the tool holds while an input runs, as the sanitizer's allocator
// counts its blocks: MarkHeap() before, HeapPeakAboveMark() the most it held
// above the mark since (0 in a build without the allocator's hooks).
void MarkHeap();
size_t HeapPeakAboveMark();

// A scratch folder for the process, on a memory file system when there is one.
QString FuzzScratch();
bool FuzzWriteFile(const QString& path, const std::string& bytes);
