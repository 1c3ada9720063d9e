// The configuration sheet on paper: its HTML laid out in pages for a printer or
// a PDF file. Qt Gui, no widgets; the PDF and the printer need a QGuiApplication
// for their fonts. Takes its texts as arguments: the command-line tool loads it
// as a module of its own (cli/Sheetpdfmodule.cpp).
#pragma once
#include "Sheet.h"

#include <QString>
#include <memory>

class QPagedPaintDevice;
class QTextDocument;
struct TFileStatus;

std::unique_ptr<QTextDocument> SheetDocument(const QString& html);
// Moves a heading that would close a page, with the headings right after it, to
// the next page, so that it stands above what it heads; for the document's page size.
void KeepHeadingsWithWhatFollows(QTextDocument& document);
// Prints the sheet on the device's pages (a printer, or the PDF writer).
void PrintSheet(const QString& html, const QString& pageOf, QPagedPaintDevice& device);
// Written through a temporary file, so a failure leaves an earlier file whole.
bool WriteSheetPdf(const QString& html, const QString& path, const TSheetPrintTexts& texts, TFileStatus* status);
