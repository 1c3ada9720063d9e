// What the pages show for each setting: its caption (the texts of the tab, the
// group and the label it sits under) and the way a value looks on the page (list
// items by their text, tick boxes ticked or not). Read from the pages' own
// controls, so it follows the pages; texts come from the current language.
// Widget-free, for the command line; the table itself is read from the pages
// (pages/Pagecaptions.h).
#pragma once
#include <QString>
#include <map>
#include <string>
#include <vector>

class CCaptions {
public:
    enum class TShow { Text, Memo, List, Tick, TickInverted };
    struct TCaption {
        std::vector<int> path;  // text numbers, outermost first: tab, group, label
        int row = 0;            // the row label of a setting in a grid of its own (1 for "1."), or 0
        TShow show = TShow::Text;
        int list = 0;             // list settings: the text number whose items name the values
        std::vector<int> values;  // and the value of each item
    };

    // One setting as its page shows it; page counts the pages from 0.
    struct TEntry {
        int page = 0;
        std::string key;
        TCaption caption;
    };

    // The table from its entries (pages/Pagecaptions.h reads them from the pages;
    // the build keeps them for the command line).
    static CCaptions FromEntries(std::vector<TEntry> entries);

    const TCaption* Find(const std::string& key) const;
    const std::map<std::string, TCaption>& Entries() const { return m_Table; }
    // Every setting in the order of the pages and, within a page, of its controls.
    const std::vector<TEntry>& Ordered() const { return m_Order; }
    // "Tab › Group › Label" in the current language; the key when it has no caption.
    QString Caption(const std::string& key) const;
    // A value as the page shows it.
    QString Show(const std::string& key, const std::string& value) const;
    // A text of the current language as a caption: no Alt letter, no colon.
    static QString Text(int number);

private:
    void Add(int page, const std::string& key, TCaption c);

    std::map<std::string, TCaption> m_Table;
    std::vector<TEntry> m_Order;
};

// The captions of the pages as the build took them from the pages themselves.
const CCaptions& BuiltInCaptions();

// Text numbers of the pages' titles, in the order of the page list.
constexpr int kPageTitleTexts[7] = {4, 5, 6, 7, 8, 9, 10};
