// The configuration sheet from the window: File > Export sheet (PDF) and File > Print.
#include "Captions.h"
#include "Commonutils.h"
#include "Globals.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Parameters.h"
#include "Prompts.h"
#include "Sheetprint.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>

namespace {
const int kTextExport = 526, kTextPrint = 527, kTextFromGateway = 532, kTextNewConfiguration = 534,
          kTextSheetSaved = 538, kTextPdfFilter = 539;
const int kStatusTime = 10000;
}  // namespace

void TFMain::BuildSheetCommands()
{
    ExportSheetAction = new QAction(this);
    ExportSheetAction->setObjectName("ExportSheetAction");
    PrintAction = new QAction(this);
    PrintAction->setObjectName("PrintAction");
    PrintAction->setShortcut(QKeySequence::Print);
    connect(ExportSheetAction, &QAction::triggered, this, &TFMain::ExportSheetClick);
    connect(PrintAction, &QAction::triggered, this, &TFMain::PrintClick);
    // In the file part of the menu, after Save as.
    QAction* after = ReadAction;
    GatewayMenu->insertAction(after, ExportSheetAction);
    GatewayMenu->insertAction(after, PrintAction);
    GatewayMenu->insertSeparator(after);
}

void TFMain::TranslateSheetCommands()
{
    ExportSheetAction->setText(Language().Text(kTextExport));
    PrintAction->setText(Language().Text(kTextPrint));
}

QString TFMain::SheetHtmlOfWindow()
{
    StoreShownPage();
    const CParameters& p = Parameters();
    TSheetTitle title;
    title.serial = FromBytes(p.GetValue("SerialNum", 0));
    title.firmware = FromBytes(p.GetValue("SWVer", 0));
    // A configuration in no file came from a gateway when it names one.
    title.origin = !m_FileName.isEmpty()     ? QFileInfo(m_FileName).fileName()
                   : !title.serial.isEmpty() ? CCaptions::Text(kTextFromGateway)
                                             : CCaptions::Text(kTextNewConfiguration);
    title.when = QDateTime::currentDateTime();
    return SheetHtml(p, BuiltInCaptions(), title);
}

bool TFMain::ExportSheetClick()
{
    const QString html = SheetHtmlOfWindow();
    const QString path = m_Prompts->SaveFile(this, Language().Text(kTextPdfFilter), "pdf");
    if (path.isEmpty()) return false;
    TFileStatus status;
    if (!WriteSheetPdf(html, path, SheetPrintTexts(), &status)) {
        Message(Substitute("%s\n'%s'", {Language().Text(129), QDir::toNativeSeparators(path)}) + "\n" +
                    FileStatusText(Language(), status),
                TIcon::Error);
        return false;
    }
    statusBar()->showMessage(Substitute(Language().Text(kTextSheetSaved), {QDir::toNativeSeparators(path)}),
                             kStatusTime);
    return true;
}

void TFMain::PrintClick()
{
    const QString html = SheetHtmlOfWindow();
    QPrinter printer;
    printer.setDocName(Language().Text(0));
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(CaptionText(Language().Text(kTextPrint)));
    if (dialog.exec() != QDialog::Accepted) return;
    PrintSheet(html, SheetPrintTexts().pageOf, printer);
}
