// The window's files (open, save, new, the question before changes are lost),
// the comparison with the gateway and the kept copies.
#include "Captions.h"
#include "Commonutils.h"
#include "Globals.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Restoredialog.h"
#include "Parameters.h"
#include "Comparedialog.h"
#include "Prompts.h"
#include "Terminal.h"
#include "Writecheck.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace {
const int kTextSaveChanges = 340, kTextSavedTo = 341;
const int kTextCompare = 385, kTextRestore = 386;
const int kStatusTime = 10000;  // ms a confirmation stays in the status bar
const int kTextReadCancelled = 632;
}  // namespace

// ---------------------------------------------------------------- files

void TFMain::MarkClean()
{
    m_Clean = Parameters().Snapshot();
    setWindowModified(false);
}

void TFMain::StoreShownPage()
{
    if (!m_CurrentPage) return;
    m_CurrentPage->StoreToParameters();
    if (m_CurrentPage->isHidden()) {
        m_CurrentPage->LoadFromParameters();
        m_CurrentPage->show();
    }
}

bool TFMain::IsModified()
{
    StoreShownPage();
    UpdateModified();
    return isWindowModified();
}

bool TFMain::ConfirmLoss()
{
    if (!IsModified()) return true;
    switch (m_Prompts->AskSave(this, Language().Text(0), Language().Text(kTextSaveChanges))) {
    case TSaveChoice::Save: return SaveClick();
    case TSaveChoice::Discard: return true;
    case TSaveChoice::Cancel: break;
    }
    return false;
}

bool TFMain::LoadFile(const QString& path)
{
    CParameters::TLoadReport report;
    if (!Parameters().LoadFromFile(path.toLocal8Bit().toStdString(), report)) {
        // The registry is as it was, and so is the file it belongs to.
        Message(Substitute("%s\n'%s'", {Language().Text(130), QDir::toNativeSeparators(path)}) + "\n" +
                    FileStatusText(Language(), report.File),
                TIcon::Error);
        return false;
    }
    m_Ops.PinChanged = m_Ops.PasswordChanged = false;
    m_Ops.SourceGaps = report.Gaps;
    m_FileName = path;
    MarkClean();
    // Values the gateway cannot hold are shown as it would keep them: an
    // unsaved change, with a note, like what the file left out.
    const std::vector<TDifference> held = HoldNumbers(Parameters());
    UpdateCaption();
    QStringList notes;
    if (report.UnknownCount > 0) notes << UnknownKeysText(Language(), report.UnknownCount, report.UnknownNames);
    // What the file left out is named as the pages show it: a user knows no keys.
    const auto caption = [](const std::string& key) { return BuiltInCaptions().Caption(key); };
    if (!held.empty() || !report.Gaps.Empty()) notes << LoadNoteText(Language(), held, report.Gaps, 10, caption);
    if (!notes.isEmpty()) Message(notes.join("\n\n"), TIcon::Warning);
    return true;
}

bool TFMain::ShowAtStart(int page, const QString& path)
{
    // A page, never an empty pane.
    SelectPage(page >= 0 && page < 7 ? page : 0);
    if (path.isEmpty()) return true;
    const bool loaded = LoadFile(path);
    m_CurrentPage->LoadFromParameters();
    return loaded;
}

bool TFMain::SaveFile(const QString& path)
{
    TFileStatus status;
    if (!Parameters().SaveToFile(path.toLocal8Bit().toStdString(), status)) {
        Message(Substitute("%s\n'%s'", {Language().Text(129), QDir::toNativeSeparators(path)}) + "\n" +
                    FileStatusText(Language(), status),
                TIcon::Error);
        return false;
    }
    m_FileName = path;
    MarkClean();
    UpdateCaption();
    statusBar()->showMessage(Substitute(Language().Text(kTextSavedTo), {QDir::toNativeSeparators(path)}), kStatusTime);
    return true;
}

void TFMain::LoadClick()
{
    if (!ConfirmLoss()) return;
    const QString path = m_Prompts->OpenFile(this, Language().Text(128));
    // A cancelled choice changes nothing, not even the edits on the page.
    if (path.isEmpty()) return;
    LoadFile(path);
    if (m_CurrentPage) m_CurrentPage->LoadFromParameters();
}

bool TFMain::SaveAsClick()
{
    StoreShownPage();
    const QString path = m_Prompts->SaveFile(this, Language().Text(128), "kvx");
    return !path.isEmpty() && SaveFile(path);
}

bool TFMain::SaveClick()
{
    // Only a file the window's configuration came from or went to is saved without asking.
    if (m_FileName.isEmpty()) return SaveAsClick();
    StoreShownPage();
    return SaveFile(m_FileName);
}

void TFMain::NewClick()
{
    if (!ConfirmLoss()) return;
    Parameters().SetAllDefaults();
    m_Ops.PinChanged = m_Ops.PasswordChanged = false;
    m_Ops.SourceGaps = {};
    m_FileName.clear();
    MarkClean();
    UpdateCaption();
    if (m_CurrentPage) m_CurrentPage->LoadFromParameters();
}

// ---------------------------------------------------------------- comparison and kept copies

void TFMain::BuildCompareCommands(QToolBar* bar)
{
    CompareAction = new QAction(this);
    CompareAction->setObjectName("CompareAction");
    RestoreAction = new QAction(this);
    RestoreAction->setObjectName("RestoreAction");
    connect(CompareAction, &QAction::triggered, this, &TFMain::CompareClick);
    connect(RestoreAction, &QAction::triggered, this, &TFMain::RestoreClick);
    // In the gateway menu between the write and the firmware upgrade.
    GatewayMenu->insertAction(UpgradeAction, CompareAction);
    GatewayMenu->insertAction(UpgradeAction, RestoreAction);
    GatewayMenu->insertSeparator(UpgradeAction);
    auto button = [this, bar](QToolButton*& b, const char* name, QStyle::StandardPixmap icon, QAction* action) {
        b = new QToolButton(bar);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, action, &QAction::trigger);
        bar->addWidget(b);
    };
    button(CompareButton, "CompareButton", QStyle::SP_FileDialogContentsView, CompareAction);
    button(RestoreButton, "RestoreButton", QStyle::SP_ArrowBack, RestoreAction);
    bar->addSeparator();
}

void TFMain::TranslateCompareCommands()
{
    const CLanguage& l = Language();
    CompareAction->setText(l.Text(kTextCompare));
    RestoreAction->setText(l.Text(kTextRestore));
    CompareButton->setToolTip(l.Hint(kTextCompare));
    RestoreButton->setToolTip(l.Hint(kTextRestore));
    CompareButton->setAccessibleName(CaptionText(l.Text(kTextCompare)));
    RestoreButton->setAccessibleName(CaptionText(l.Text(kTextRestore)));
}

void TFMain::CompareClick()
{
    if (FCompareDialog) FCompareDialog->Run();
}

void TFMain::RestoreClick()
{
    if (FRestoreDialog) FRestoreDialog->Run();
}

bool TFMain::LoadKeptCopy(const QString& path)
{
    if (!ConfirmLoss() || !LoadFile(path)) return false;
    // A kept copy is no file of the user's: Save asks for a name instead of writing into it.
    m_FileName.clear();
    UpdateCaption();
    if (m_CurrentPage) m_CurrentPage->LoadFromParameters();
    return true;
}

void TFMain::ReadFromGateway()
{
    // A read the user stopped leaves the window as it was, and says so: the
    // progress window that told of the read is gone without a word otherwise.
    const auto cancelled = [this] { statusBar()->showMessage(Language().Text(kTextReadCancelled), kStatusTime); };
    if (!ConfirmLoss()) return cancelled();
    if (!m_Ops.ReadFromGateway()) {
        if (m_Ops.Outcome == TOutcome::Link && m_Ops.LinkCode == CE_USER) cancelled();
        return;
    }
    // The gateway holds what the window now shows; no file does.
    m_FileName.clear();
    MarkClean();
    UpdateCaption();
}

void TFMain::WriteToGateway()
{
    if (m_Ops.WriteToGateway()) MarkClean();
}
