#include "Sheetpdf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

TSheetPdf::TSheetPdf()
{
    // Before the application exists: the program's folder from the kernel.
    const QString programFolder = QFileInfo(QFileInfo("/proc/self/exe").canonicalFilePath()).path();
    const QString name = "korvanext-sheetpdf.so";
    const QStringList tried = {programFolder + "/" + name,
                               QDir::cleanPath(programFolder + "/../" KVX_MODULE_DIR "/" + name)};
    for (const QString& path : tried) {
        if (!QFileInfo::exists(path)) continue;
        m_Path = path;
        QLibrary library(path);
        // Kept loaded to the end: the application and the fonts live in it.
        library.setLoadHints(QLibrary::PreventUnloadHint);
        if (!library.load()) {
            m_Error = library.errorString() + "; reinstall the program";
            return;
        }
        m_MakeApplication = reinterpret_cast<TMakeApplication>(library.resolve("KvxSheetApplication"));
        m_Write = reinterpret_cast<TWrite>(library.resolve("KvxWriteSheetPdf"));
        if (m_MakeApplication && m_Write) return;
        m_MakeApplication = nullptr;
        m_Write = nullptr;
        m_Error = "it is not the PDF writer of this program; reinstall the program";
        return;
    }
    m_Path = tried.back();
    m_Error = "the PDF writer is missing; reinstall the program";
}

std::unique_ptr<QCoreApplication> TSheetPdf::MakeApplication(int& argc, char** argv) const
{
    return std::unique_ptr<QCoreApplication>(m_MakeApplication ? m_MakeApplication(&argc, argv) : nullptr);
}

bool TSheetPdf::Write(const QString& html, const QString& path, const TSheetPrintTexts& texts,
                      TFileStatus* status) const
{
    return m_Write && m_Write(&html, &path, &texts, status);
}
