#include "Compare.h"

#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Parameters.h"

#include <algorithm>
#include <array>

using namespace ImageLayout;

TComparison CompareConfigurations(const CParameters& mine, const CParameters& other,
                                  const std::set<std::string>& extraKeys)
{
    TComparison result;
    for (const auto& [key, rc] : mine.Entries()) {
        const bool setting = rc.Par->m_Address != -1 && rc.Par->m_InFile;
        if (!setting && !extraKeys.count(key)) continue;
        const CParameters::TMultiPar* theirs = other.Find(key);
        if (!theirs) continue;
        for (int i = 0; i < rc.Count; ++i) {
            const std::string& a = rc.Values[size_t(i)];
            const std::string b = i < theirs->Count ? theirs->Values[size_t(i)] : std::string();
            if (a == b) {
                ++result.equal;
                continue;
            }
            result.differences.push_back({key, i, rc.Count, a, b});
        }
    }
    return result;
}

std::string SettingName(const std::string& key, int index, int count)
{
    return count > 1 ? key + ":" + std::to_string(index + 1) : key;
}

namespace {
// The longest field an encoder writes: a length byte and 40 characters.
constexpr int kFieldWindow = 64;
}  // namespace

void ApplyChosen(uint8_t* image, const CParameters& source, const std::vector<TSettingRef>& chosen)
{
    for (const TSettingRef& ref : chosen) {
        const CParameters::TMultiPar* rc = source.Find(ref.key);
        if (!rc || rc->Par->m_Address < 0 || ref.index < 0 || ref.index >= rc->Count) continue;
        const int place = rc->Par->m_Address + ref.index * rc->Par->m_Stride;
        if (place >= ImageSize) continue;
        const int span = std::min(kFieldWindow, ImageSize - place);
        // Encoded over all-zero and over all-one bytes: the bits that come out the
        // same in both are the ones the field owns; the others are left alone.
        std::array<uint8_t, kFieldWindow> zeros{}, ones{};
        ones.fill(0xFF);
        // A field that would reach past the image is not written at all.
        if (place + std::max(rc->Par->GetSize(), 1) > ImageSize) continue;
        const std::string& value = rc->Values[size_t(ref.index)];
        rc->Par->Encode(value, zeros.data());
        rc->Par->Encode(value, ones.data());
        for (int b = 0; b < span; ++b) {
            const auto owned = uint8_t(~(zeros[size_t(b)] ^ ones[size_t(b)]));
            uint8_t& target = image[place + b];
            target = uint8_t((target & ~owned) | (zeros[size_t(b)] & owned));
        }
        const int bitmap = UsedBitmapOf(ref.key);
        if (bitmap >= 0 && ref.index < RoutingRows) {
            uint8_t& bits = image[bitmap + ref.index / 8];
            const auto bit = uint8_t(1u << (ref.index % 8));
            bits = value.empty() ? uint8_t(bits & ~bit) : uint8_t(bits | bit);
        }
    }
}
