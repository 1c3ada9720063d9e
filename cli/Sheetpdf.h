// The sheet command's PDF writer, in a module loaded at run time (see
// Sheetpdfmodule.cpp): beside the program in a build tree, in
// ../<libdir>/korvanext/ once installed.
#pragma once
#include <QString>

#include <memory>

class QCoreApplication;
struct TFileStatus;
struct TSheetPrintTexts;

class TSheetPdf {
public:
    // Loads the module; on failure Error() says why it could not be loaded from Path().
    TSheetPdf();
    bool Loaded() const { return m_Write != nullptr; }
    const QString& Path() const { return m_Path; }
    const QString& Error() const { return m_Error; }
    // The program's application, a QGuiApplication of the module; null when it
    // did not load (the caller makes a QCoreApplication).
    std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv) const;
    bool Write(const QString& html, const QString& path, const TSheetPrintTexts& texts, TFileStatus* status) const;

private:
    using TMakeApplication = QCoreApplication* (*)(int*, char**);
    using TWrite = bool (*)(const QString*, const QString*, const TSheetPrintTexts*, TFileStatus*);
    TMakeApplication m_MakeApplication = nullptr;
    TWrite m_Write = nullptr;
    QString m_Path, m_Error;
};
