// The configuration sheet: a title block, then every setting under its page's
// title in the page's order, with the caption and value the page shows, routing
// tables as tables of their used rows, in the current language. One HTML text
// serves the HTML file, the PDF file and the printer. Qt Core only: the pages
// on paper are Sheetprint.h's.
#pragma once
#include <QDateTime>
#include <QString>

class CCaptions;
class CParameters;
struct TFileStatus;

struct TSheetTitle {
    QString serial;  // the gateway's serial number and firmware, empty when not known
    QString firmware;
    QString origin;  // the file's name, or where else the configuration came from
    QDateTime when;
};

QString SheetHtml(const CParameters& parameters, const CCaptions& captions, const TSheetTitle& title);

// The texts the printed pages carry, in the current language: the document's
// title and creator, and the foot's "page N of M".
struct TSheetPrintTexts {
    QString title, creator, pageOf;
};
TSheetPrintTexts SheetPrintTexts();

bool WriteSheetHtml(const QString& html, const QString& path, TFileStatus* status);
