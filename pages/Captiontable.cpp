// Build tool: writes the captions the pages show as a C++ table, so that the
// command line knows them without making a single widget.
#include "Captions.h"
#include "Pagecaptions.h"
#include "Catalogue.h"
#include "Pageform.h"
#include "Globals.h"
#include "Language.h"
#include "Pagelist.h"
#include "Parameters.h"

#include <QApplication>
#include <QFile>
#include <QSaveFile>
#include <QWidget>
#include <algorithm>
#include <cstdio>

namespace {
QByteArray Numbers(const std::vector<int>& numbers)
{
    QByteArray out = "{";
    for (size_t i = 0; i < numbers.size(); ++i) out += (i ? ", " : "") + QByteArray::number(numbers[i]);
    return out + "}";
}

const char* ShowName(CCaptions::TShow show)
{
    switch (show) {
    case CCaptions::TShow::Memo: return "Memo";
    case CCaptions::TShow::List: return "List";
    case CCaptions::TShow::Tick: return "Tick";
    case CCaptions::TShow::TickInverted: return "TickInverted";
    case CCaptions::TShow::Text: break;
    }
    return "Text";
}
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvanext-captiontable OUTPUT.inc LANGUAGE-FOLDER\n");
        return 1;
    }
    TGlobalObjects globals;
    // The pages ask for their texts while they are made; without a language
    // every one of them would be reported as a failed consistency check.
    CLanguage& language = Language();
    if (!language.InitEnglish(QString::fromLocal8Bit(argv[2]) + "/")) {
        std::fprintf(stderr, "korvanext-captiontable: %s\n", qPrintable(language.Problem()));
        return 2;
    }
    BuildCatalogue(Parameters());
    QWidget window;
    const auto pages = MakePages(&window);
    const CCaptions captions = CaptionsFromPages({pages.begin(), pages.end()});
    QByteArray out = "// Made by korvanext-captiontable from the pages; do not edit.\n";
    for (const CCaptions::TEntry& e : captions.Ordered()) {
        const CCaptions::TCaption& c = e.caption;
        out += "{" + QByteArray::number(e.page) + ", \"" + QByteArray::fromStdString(e.key) + "\", {" +
               Numbers(c.path) + ", " + QByteArray::number(c.row) + ", CCaptions::TShow::" + ShowName(c.show) + ", " +
               QByteArray::number(c.list) + ", " + Numbers(c.values) + "}},\n";
    }
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        std::fprintf(stderr, "korvanext-captiontable: cannot write %s: %s\n", argv[1], qPrintable(file.errorString()));
        return 2;
    }
    return 0;
}
