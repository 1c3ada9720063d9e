// The configuration sheet: a title block, then every setting under its page's
// title in the page's order, with the caption and value the page shows, routing
// tables as tables of their used rows, in the current language. One HTML text
// serves the HTML file, the PDF file and the printer. Needs no widgets; the PDF
// and the printer need a QGuiApplication for their fonts.
#pragma once
#include <QDateTime>
#include <QString>
#include <memory>

class CCaptions;
class CParameters;
class QPagedPaintDevice;
class QTextDocument;
struct TFileStatus;

struct TSheetTitle {
    QString serial;  // the gateway's serial number and firmware, empty when not known
    QString firmware;
    QString origin;  // the file's name, or where else the configuration came from
    QDateTime when;
};

QString SheetHtml(const CParameters& parameters, const CCaptions& captions, const TSheetTitle& title);

std::unique_ptr<QTextDocument> SheetDocument(const QString& html);
// Moves a heading that would close a page, with the headings right after it, to
// the next page, so that it stands above what it heads; for the document's page size.
void KeepHeadingsWithWhatFollows(QTextDocument& document);
// Prints the sheet on the device's pages (a printer, or the PDF writer).
void PrintSheet(const QString& html, QPagedPaintDevice& device);
// Written through a temporary file, so a failure leaves an earlier file whole.
bool WriteSheetPdf(const QString& html, const QString& path, TFileStatus* status);
bool WriteSheetHtml(const QString& html, const QString& path, TFileStatus* status);
