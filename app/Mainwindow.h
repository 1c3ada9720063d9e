// The main window: tool bar, menus, page list, the embedded page, status bar,
// the language switch, and the user commands that reach the gateway.
#pragma once
#include "Appsettings.h"
#include "Pageform.h"
#include "Gatewayops.h"
#include "Progress.h"
#include "Prompts.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

class QAction;
class QButtonGroup;
class QLabel;
class QListWidget;
class QMenu;
class QScrollArea;
class QSplitter;
class QToolBar;
class QToolButton;
class QTranslator;
class TFPage;
class TFProgress;
class TFSettingsDialog;
class TFAboutBox;
class TFFirmwareChoice;
class TFMonitor;
class TFDialingDialog;
class TFCompareDialog;
class TFRestoreDialog;

class TFMain : public QMainWindow, public TOperationUI, public TPageHost {
    Q_OBJECT
public:
    explicit TFMain(QWidget* parent = nullptr);
    ~TFMain() override;

    // For this run only: talk to the gateway on this port (the demo's simulator).
    // labelText, when given, names the port instead of label: a language text
    // follows a switch of language.
    void SetSessionPort(const QString& port, const QString& label, int labelText = 0);
    // Stores the page in view into the registry and keeps it in view (the
    // security page hides itself when stored): it was looked at, not left.
    void StoreShownPage();
    // For this run only: reach the gateway through this modem and number (the demo's).
    void SetSessionModem(const QString& device, const QString& number);
    void SetPrompts(std::unique_ptr<TPrompts> prompts);
    TPrompts& Prompts() { return *m_Prompts; }

    // Commands.
    void PageListClick();
    void SetLanguage(int lang);
    void LanguageButtonClick(const QString& id);
    void AboutClick();
    void SettingsClick();
    void ExitClick();
    void LoadClick();        // load configuration file
    bool SaveAsClick();      // save configuration file (always asks for the name); true when saved
    bool SaveClick();        // save to the current file, or ask
    void NewClick();         // start from the defaults
    void ReadFromGateway();  // read from gateway
    void WriteToGateway();   // write to gateway
    void UpgradeFirmware() { m_Ops.UpgradeFirmware(); }
    void ConnectModem() { m_Ops.ConnectModem(); }
    void HangUpModem() { m_Ops.HangUpModem(); }
    void CompareClick();      // compare the window with the gateway, a file or the defaults
    void RestoreClick();      // load a kept copy of a gateway's configuration
    bool ExportSheetClick();  // the configuration sheet as a PDF file; true when written
    void PrintClick();        // the configuration sheet on a printer
    // Loads a kept copy like a configuration file, but names no file: saving must
    // not overwrite the copy.
    bool LoadKeptCopy(const QString& path);
    void UpdateLinkControls();
    void SelectPage(int index);
    bool LoadFile(const QString& path);
    // What the window shows when the program starts: a page (the first unless
    // another is asked for) and a file named on the command line, loaded as Load
    // loads it, or reported while the window keeps its defaults.
    bool ShowAtStart(int page, const QString& path);
    bool SaveFile(const QString& path);
    // The window's configuration (the shown page included) differs from what was
    // last loaded, saved, read from or written to the gateway.
    bool IsModified();
    // Before the configuration is replaced or the window closes: asks to save
    // changes; false when the user cancelled (or the save did not happen).
    bool ConfirmLoss();
    // What the window holds now is stored somewhere (a file or the gateway).
    void MarkClean();

    // TOperationUI
    void ShowProgress(bool show, int textNumber, bool withBar) override;
    void SetProgressLabel(const QString& text) override;
    void SetProgressMax(int max) override;
    void SetProgressPos(int pos) override;
    void SetCancelVisible(bool visible) override;
    void SetProgressNotice(const QString& text) override;
    bool Cancelled() const override;
    void Message(const QString& text, TIcon icon) override;
    bool Ask(const QString& text, TIcon icon, TDefaultAnswer preset = TDefaultAnswer::No) override;
    QString ChooseFirmware(const QStringList& paths) override;
    void ProcessEvents() override;

    // TPageHost
    bool Question(const QString& text) override { return Ask(text, TIcon::Question, TDefaultAnswer::No); }
    void Warning(const QString& text) override { Message(text, TIcon::Warning); }
    void SetPinChanged() override { m_Ops.PinChanged = true; }
    void SetPasswordChanged() override { m_Ops.PasswordChanged = true; }
    void CloseGatewayLink() override { m_Ops.CloseGatewayLink(); }
    void ShowLinkError(const CCOMTermExp& e) override { m_Ops.ShowLinkError(e); }
    QString ComPort() const override { return m_Ops.ComPort; }
    bool IsModem() const override { return m_Ops.IsModem; }
    bool ModemConnected() const override { return m_Ops.ModemConnected; }
    std::string GatewayIdent() const override;
    bool MonitorBusy() const override { return m_Ops.MonitorBusy; }
    void SetMonitorBusy(bool busy) override { m_Ops.MonitorBusy = busy; }

    CGatewayOps m_Ops;
    TFPage* CurrentPage() const { return m_CurrentPage; }
    int CurrentPageIndex() const { return m_CurrentPageIndex; }
    TFPage* Page(int index) const { return m_Pages[size_t(index)]; }
    TFProgress* Progress() const { return m_Progress; }
    int CurrentLanguage() const { return m_CurrentLanguage; }
    const QString& FileName() const { return m_FileName; }

    // Components.
    QWidget* ToolBar;
    QListWidget* PageList;
    QSplitter* Splitter;
    QWidget* PagePanel;
    QLabel* PageTitle;
    QScrollArea* PageArea;
    QLabel* StatusLine;
    QMenu* PageMenu;
    QMenu* ApplicationMenu;
    QMenu* GatewayMenu;
    QAction *SettingsAction, *ConnectAction, *DisconnectAction, *AboutAction, *ExitAction;
    QAction *NewAction, *LoadAction, *SaveAction, *SaveAsAction, *ReadAction, *WriteAction, *UpgradeAction;
    std::array<QToolButton*, 8> ToolButtons{};      // read, write, load, save, settings, connect, upgrade, hang up
    std::array<QToolButton*, 7> LanguageButtons{};  // BLCze, BLEng, BLSlo, BLGer, BLPol, BLFin, BLTur

    TFSettingsDialog* FSettingsDialog = nullptr;
    TFAboutBox* FAboutBox = nullptr;
    TFFirmwareChoice* FFirmwareChoice = nullptr;
    TFDialingDialog* FDialingDialog = nullptr;
    TFMonitor* FMonitor = nullptr;
    TFCompareDialog* FCompareDialog = nullptr;
    TFRestoreDialog* FRestoreDialog = nullptr;
    QAction *CompareAction = nullptr, *RestoreAction = nullptr;
    QToolButton *CompareButton = nullptr, *RestoreButton = nullptr;  // compare, restore
    QAction *ExportSheetAction = nullptr, *PrintAction = nullptr;    // configuration sheet

protected:
    void closeEvent(QCloseEvent* event) override;  // FormClose
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void EnableLanguageButtons();
    void BuildPages();
    void BuildCompareCommands(QToolBar* bar);
    void TranslateCompareCommands();
    void BuildSheetCommands();
    void TranslateSheetCommands();
    QString SheetHtmlOfWindow();
    void UpdateCaption();
    void PageAreaResize();
    void LoadQtTranslations(const QString& languageId);
    static std::vector<QRect> AvailableScreens();
    // Once the window system has framed the window: the frame fits the screen.
    void FitFrameToScreen();
    // The title's marker of unsaved changes: set by an edit, checked exactly
    // whenever the page's values reach the registry.
    void WatchEdits(QWidget* page);
    void UpdateModified();
    void ShowClosedNotice(bool show);

    std::unique_ptr<TPrompts> m_Prompts;
    TAppSettings m_Settings;
    QString m_SettingsPath;
    QString m_SessionPort;  // port of this run only, not stored
    QString m_SessionLabel;
    int m_SessionLabelText = 0;
    std::array<TFPage*, 7> m_Pages{};
    TFPage* m_CurrentPage = nullptr;
    int m_CurrentPageIndex = -1;
    int m_CurrentLanguage = 0;
    QPointer<TFProgress> m_Progress;
    QButtonGroup* m_LanguageGroup = nullptr;
    QLabel* m_ClosedNotice = nullptr;
    bool m_Fitted = false;
    QSize m_Placed;      // the size the settings gave the window
    QString m_FileName;  // the file the configuration came from or was saved to; empty otherwise
    std::vector<std::vector<std::string>> m_Clean;  // the registry when it was last stored somewhere
    std::unique_ptr<QTranslator> m_QtTranslator;    // the standard buttons and dialogs in the interface language
};
