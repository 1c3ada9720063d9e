// The sheet's PDF writer as a module of korvanext-cli. Qt Gui and the forty-odd
// libraries under it take some 16 ms to load and link; kept out of the program,
// they load for the sheet command alone, not for every call of a script.
#include "Sheetprint.h"

#include <QGuiApplication>

extern "C" {
Q_DECL_EXPORT QCoreApplication* KvxSheetApplication(int* argc, char** argv)
{
    // The PDF is laid out with fonts, which take a GUI application; it needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(*argc, argv);
}

Q_DECL_EXPORT bool KvxWriteSheetPdf(const QString* html, const QString* path, const TSheetPrintTexts* texts,
                                    TFileStatus* status)
{
    return WriteSheetPdf(*html, *path, *texts, status);
}
}
