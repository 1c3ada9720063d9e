#include "Mainwindow.h"

#include "Firmwarechoice.h"
#include "Catalogue.h"
#include "Dialing.h"
#include "Dialingdialog.h"
#include "Hayesmodem.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Pageform.h"
#include "Globals.h"
#include "Gsmsim.h"
#include "Initialisation.h"
#include "Formtexts.h"
#include "Language.h"
#include "Smsinput.h"
#include "Monitor.h"
#include "Settingsdialog.h"
#include "Aboutbox.h"
#include "Restoredialog.h"
#include "Pagelist.h"
#include "Parameters.h"
#include "Comparedialog.h"
#include "Progress.h"
#include "Service.h"
#include "Telephonelines.h"
#include "Routingtables.h"
#include "Writecheck.h"
#include "Security.h"

#include <QAction>
#include <QApplication>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QTranslator>
#include <QVBoxLayout>
#include <cstring>

namespace {
const int kTextSettingsNotKept = 502;
const int kTextPageClosed = 570;
const int kHintTime = 120000;  // ms

// The progress window steps aside while the program asks or tells something
// during an operation, so the box is never covered, and comes back afterwards.
class TProgressAside {
public:
    explicit TProgressAside(TFProgress* progress) : m_Progress(progress)
    {
        if (m_Progress && m_Progress->isVisible()) {
            m_Progress->hide();
            m_Hidden = true;
        }
    }
    ~TProgressAside()
    {
        if (!m_Hidden || !m_Progress || !m_Progress->Active) return;
        m_Progress->show();
        m_Progress->raise();
        m_Progress->activateWindow();
    }
    TProgressAside(const TProgressAside&) = delete;
    TProgressAside& operator=(const TProgressAside&) = delete;

private:
    QPointer<TFProgress> m_Progress;
    bool m_Hidden = false;
};
}  // namespace

TFMain::TFMain(QWidget* parent)
    : QMainWindow(parent), m_Ops(Parameters(), Terminal(), Language(), *this), m_Prompts(std::make_unique<TPrompts>())
{
    setObjectName("TFMain");
    setWindowIcon(QIcon(":/korvanext.svg"));
    BuildMenus();
    BuildSheetCommands();
    BuildToolBar();

    Splitter = new QSplitter(this);
    Splitter->setObjectName("Splitter");
    PageList = new QListWidget(Splitter);
    PageList->setObjectName("PageList");
    for (int i = 0; i < 8; ++i) PageList->addItem(QString());
    PagePanel = new QWidget(Splitter);
    PagePanel->setObjectName("PagePanel");
    auto* p2 = new QVBoxLayout(PagePanel);
    p2->setContentsMargins(0, 0, 0, 0);
    p2->setSpacing(0);
    PageTitle = new QLabel(PagePanel);
    PageTitle->setObjectName("PageTitle");
    PageTitle->setAutoFillBackground(true);
    PageTitle->setBackgroundRole(QPalette::Highlight);
    PageTitle->setForegroundRole(QPalette::HighlightedText);
    PageTitle->setMargin(6);
    QFont f = PageTitle->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.2);
    PageTitle->setFont(f);
    PageArea = new QScrollArea(PagePanel);
    PageArea->setObjectName("PageArea");
    PageArea->setWidgetResizable(true);
    PageArea->setFrameShape(QFrame::NoFrame);
    PageArea->viewport()->installEventFilter(this);
    // What the pane says while its page has closed itself (the security page does).
    m_ClosedNotice = new QLabel(PageArea->viewport());
    m_ClosedNotice->setObjectName("ClosedNotice");
    m_ClosedNotice->setWordWrap(true);
    m_ClosedNotice->setAlignment(Qt::AlignCenter);
    m_ClosedNotice->setMargin(24);
    m_ClosedNotice->hide();
    p2->addWidget(PageTitle);
    p2->addWidget(PageArea, 1);
    Splitter->addWidget(PageList);
    Splitter->addWidget(PagePanel);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({150, 740});
    setCentralWidget(Splitter);
    StatusLine = new QLabel(this);
    StatusLine->setObjectName("StatusLine");
    statusBar()->addWidget(StatusLine, 1);
    connect(PageList, &QListWidget::itemActivated, this, [this] { PageListClick(); });
    connect(PageList, &QListWidget::itemClicked, this, [this] { PageListClick(); });
    // The arrow keys show the page they move to. The monitor entry is a command, not a
    // page: it opens on Enter or a click, never by passing over it.
    connect(PageList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < 7) SelectPage(row);
    });

    // Start-up: folders, languages, link state, settings, catalogue, language.
    m_SettingsPath = SettingsFilePath();
    m_Ops.FirmwareFolder = ProgramFolder();
    InitLanguages(Language(), ProgramFolder(), PageMenu, [this](int lang) { SetLanguage(lang); });
    Terminal().m_OnStateChange = [this](bool connected, bool callActive) { m_Ops.SetLinkState(connected, callActive); };
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                          : QRect(0, 0, 1280, 1024);
    m_Settings.Read(SettingsReadPath(), screen.width(), screen.height());
    m_Ops.ComPort = m_Settings.Com;
    m_Ops.ModemNumber = m_Settings.ModemNumber;
    m_Ops.IsModem = m_Settings.IsModem;
    m_Ops.ModemId = m_Settings.ModemId;
    m_Ops.KeepCopies = m_Settings.KeepCopies != 0;
    // A place left on a screen that is no longer there, or a size larger than
    // the screen, would hide the window or its edges.
    const QRect place = m_Settings.Placement(AvailableScreens(), 400, 300);
    move(place.topLeft());
    resize(place.size());
    m_Placed = place.size();
    // What is kept when the window's own place cannot be known (Wayland).
    m_Settings.Left = place.left();
    m_Settings.Top = place.top();
    // A modem named by its path (one behind a terminal server) is not among those found.
    if (!m_Ops.ModemId.isEmpty()) Terminal().IncludeDevice(m_Ops.ModemId);
    if (Terminal().m_DeviceCount == 0) m_Ops.IsModem = false;
    if (auto* modem = dynamic_cast<CHayesTelephony*>(Terminal().Telephony())) {
        modem->m_InitString = m_Settings.ModemInit;
        modem->m_PulseDial = m_Settings.ModemPulse != 0;
    }
    EnableLanguageButtons();
    BuildCatalogue(Parameters());
    m_Ops.PinChanged = m_Ops.PasswordChanged = false;
    qApp->installEventFilter(this);
    m_Ops.StorePage = [this] {
        if (m_CurrentPage) m_CurrentPage->StoreToParameters();
    };
    m_Ops.LoadPage = [this] {
        if (m_CurrentPage) m_CurrentPage->LoadFromParameters();
    };
    m_Ops.UpdateLinkControls = [this] { UpdateLinkControls(); };

    BuildPages();
    FSettingsDialog = new TFSettingsDialog(this);
    FAboutBox = new TFAboutBox(this);
    FFirmwareChoice = new TFFirmwareChoice(this);
    FMonitor = new TFMonitor(*this, this);
    FDialingDialog = new TFDialingDialog(this);
    Terminal().m_View = FDialingDialog;
    FCompareDialog = new TFCompareDialog(*this, this);
    FRestoreDialog = new TFRestoreDialog(*this, this);

    int lang = m_Settings.ActLanguage;
    if (lang < 0 || lang >= Language().LanguageCount()) lang = std::max(0, Language().FindLanguage("Eng"));
    SetLanguage(lang);
    UpdateLinkControls();
    // Said once, while the user can still do something about it: when the
    // settings are written at the end the window is gone.
    if (const QString why = TAppSettings::WriteProblem(m_SettingsPath); !why.isEmpty())
        statusBar()->showMessage(
            Substitute(Language().Text(kTextSettingsNotKept), {QDir::toNativeSeparators(m_SettingsPath), why}));
    if (!Language().Problem().isEmpty()) {
        // No texts to show it in: the message names the folder so the installation can be mended.
        QTimer::singleShot(0, this,
                           [this] { m_Prompts->Message(this, "KorvanextWin", Language().Problem(), TIcon::Error); });
    }
    MarkClean();
}

std::vector<QRect> TFMain::AvailableScreens()
{
    // The primary screen first: a place on none of them goes there.
    std::vector<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen()) screens.push_back(primary->availableGeometry());
    for (QScreen* s : QGuiApplication::screens())
        if (s != QGuiApplication::primaryScreen()) screens.push_back(s->availableGeometry());
    if (screens.empty()) screens.push_back(QRect(0, 0, 1280, 1024));
    return screens;
}

bool TFMain::event(QEvent* event)
{
    // The frame is known only once the window system has framed the window,
    // which it tells by moving it.
    const bool handled = QMainWindow::event(event);
    if (!m_Fitted && isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        frameGeometry() != geometry()) {
        m_Fitted = true;
        QTimer::singleShot(0, this, &TFMain::FitFrameToScreen);
    }
    return handled;
}

void TFMain::FitFrameToScreen()
{
    const QRect inner = geometry(), outer = frameGeometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    // Without a frame the place set at construction already fits; a size given
    // since then was chosen on purpose.
    if (frame.isNull() || inner.size() != m_Placed) return;
    TAppSettings now;
    now.Left = outer.left();
    now.Top = outer.top();
    now.Width = inner.width();
    now.Height = inner.height();
    const QRect place = now.Placement(AvailableScreens(), 400, 300, frame);
    if (place.size() != inner.size()) resize(place.size());
    if (place.topLeft() != outer.topLeft()) move(place.topLeft());
}

TFMain::~TFMain()
{
    qApp->removeEventFilter(this);
    Terminal().m_OnStateChange = nullptr;
    Terminal().m_View = nullptr;
    QLocale::setDefault(QLocale::system());
    // Pages not in the scroll area are children of the window and go with it;
    // the one shown goes with the scroll area.
}

void TFMain::SetPrompts(std::unique_ptr<TPrompts> prompts)
{
    if (prompts) m_Prompts = std::move(prompts);
}

void TFMain::SetSessionModem(const QString& device, const QString& number)
{
    m_SessionPort = "modem";
    m_SessionLabel = device;
    m_SessionLabelText = 0;
    m_Ops.IsModem = true;
    m_Ops.ModemId = device;
    m_Ops.ModemNumber = number;
    UpdateLinkControls();
}

void TFMain::SetSessionPort(const QString& port, const QString& label, int labelText)
{
    m_SessionPort = port;
    m_SessionLabel = label;
    m_SessionLabelText = labelText;
    m_Ops.ComPort = port;
    m_Ops.IsModem = false;
    UpdateLinkControls();
}

void TFMain::BuildPages()
{
    m_Pages = MakePages(this);
    for (TFPage* p : m_Pages) {
        p->m_Host = this;
        p->hide();
        p->installEventFilter(this);
        WatchEdits(p);
    }
}

void TFMain::WatchEdits(QWidget* page)
{
    // Only what the user does: loading a page changes its controls too.
    const auto edited = [this] { setWindowModified(true); };
    for (auto* e : page->findChildren<QLineEdit*>()) connect(e, &QLineEdit::textEdited, this, edited);
    // Loading fills a memo and a grid through the same signals as typing: there
    // only a change under the user's hand counts.
    const auto inHand = [](const QWidget* w) {
        const QWidget* focus = QApplication::focusWidget();
        return focus && (focus == w || w->isAncestorOf(focus));
    };
    for (auto* m : page->findChildren<QPlainTextEdit*>())
        connect(m, &QPlainTextEdit::modificationChanged, this, [this, m, inHand](bool changed) {
            if (changed && inHand(m)) setWindowModified(true);
        });
    for (auto* c : page->findChildren<QComboBox*>()) connect(c, &QComboBox::activated, this, edited);
    for (auto* b : page->findChildren<QAbstractButton*>()) connect(b, &QAbstractButton::clicked, this, edited);
    for (auto* t : page->findChildren<QAbstractSlider*>()) connect(t, &QAbstractSlider::actionTriggered, this, edited);
    for (auto* t : page->findChildren<QTableWidget*>())
        connect(t, &QTableWidget::itemChanged, this, [this, t, inHand] {
            if (inHand(t)) setWindowModified(true);
        });
}

void TFMain::UpdateModified() { setWindowModified(Parameters().Snapshot() != m_Clean); }

// ---------------------------------------------------------------- pages

void TFMain::PageListClick() { SelectPage(PageList->currentRow()); }

void TFMain::SelectPage(int index)
{
    if (index < 0 || index > 7) return;
    if (index == 7) {
        PageList->blockSignals(true);
        PageList->setCurrentRow(m_CurrentPageIndex);
        PageList->blockSignals(false);
        if (FMonitor) {
            // Sized in the current language before it is centred, so the first showing is centred too.
            ApplyToForm(Language(), FMonitor);
            FMonitor->ResetDisplay();
            FMonitor->adjustSize();
            CentreOn(FMonitor, this);
            FMonitor->exec();
        }
        return;
    }
    // A click on the page already shown (after the keys brought it) changes nothing.
    if (m_CurrentPage && index == m_CurrentPageIndex && !m_CurrentPage->isHidden()) return;
    if (m_CurrentPage) {
        m_CurrentPage->StoreToParameters();
        UpdateModified();
        m_CurrentPage->hide();
        PageArea->takeWidget();
        m_CurrentPage->setParent(this);
        m_CurrentPage->hide();
        m_CurrentPage = nullptr;
    }
    TFPage* page = m_Pages[size_t(index)];
    PageArea->setWidget(page);
    page->move(0, 0);
    page->LoadFromParameters();
    m_CurrentPage = page;
    page->show();
    ShowClosedNotice(false);
    PageTitle->setText(PageList->item(index)->text());
    PageArea->setAccessibleName(PageTitle->text());
    PageAreaResize();
    m_CurrentPageIndex = index;
    if (PageList->currentRow() != index) {
        PageList->blockSignals(true);
        PageList->setCurrentRow(index);
        PageList->blockSignals(false);
    }
}

void TFMain::PageAreaResize()
{
    if (m_CurrentPage) m_CurrentPage->FitToArea(PageArea->viewport()->width(), PageArea->viewport()->height());
}

bool TFMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == PageArea->viewport() && event->type() == QEvent::Resize) {
        PageAreaResize();
        m_ClosedNotice->setGeometry(PageArea->viewport()->rect());
    }
    if (watched == m_CurrentPage && (event->type() == QEvent::Hide || event->type() == QEvent::Show))
        ShowClosedNotice(event->type() == QEvent::Hide);
    // Hints stay up for two minutes, long enough to read a long one.
    if (event->type() == QEvent::ToolTip) {
        if (auto* w = qobject_cast<QWidget*>(watched); w && !w->toolTip().isEmpty() && w->toolTipDuration() < 0) {
            const auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), w->toolTip(), w, {}, kHintTime);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFMain::ShowClosedNotice(bool show)
{
    if (show && m_CurrentPageIndex < 0) return;
    if (show) {
        m_ClosedNotice->setText(
            Substitute(Language().Text(kTextPageClosed), {PageList->item(m_CurrentPageIndex)->text()}));
        m_ClosedNotice->setGeometry(PageArea->viewport()->rect());
        m_ClosedNotice->raise();
    }
    m_ClosedNotice->setVisible(show);
}

// ---------------------------------------------------------------- link state

void TFMain::UpdateLinkControls()
{
    const CGatewayOps& o = m_Ops;
    const bool gateway = !o.IsModem || o.ModemConnected;
    for (int i : {0, 1, 6}) ToolButtons[size_t(i)]->setEnabled(gateway);
    ReadAction->setEnabled(gateway);
    WriteAction->setEnabled(gateway);
    UpgradeAction->setEnabled(gateway);
    const bool canConnect = o.IsModem && !o.ModemConnected && !o.ModemCallActive && !o.ModemNumber.isEmpty();
    ToolButtons[5]->setEnabled(canConnect);
    ConnectAction->setEnabled(canConnect);
    const bool canDisconnect = o.IsModem && o.ModemConnected;
    ToolButtons[7]->setEnabled(canDisconnect);
    DisconnectAction->setEnabled(canDisconnect);
    int text = 246;
    if (o.IsModem) text = o.ModemConnected ? 247 : !o.ModemCallActive ? 248 : o.DialRequested ? 259 : 258;
    QString status = Language().Text(text);
    if (!o.IsModem) {
        const QString label = m_SessionLabelText         ? Language().Text(m_SessionLabelText)
                              : m_SessionLabel.isEmpty() ? o.ComPort
                                                         : m_SessionLabel;
        status += "  (" + label + ")";
    }
    StatusLine->setText(status);
}

// ---------------------------------------------------------------- dialogs and end

void TFMain::AboutClick()
{
    FAboutBox->FormActivate();  // texts and logo first: its size depends on them
    CentreOn(FAboutBox, this);
    FAboutBox->exec();
}

void TFMain::SettingsClick()
{
    if (FSettingsDialog) FSettingsDialog->Run(*this);
}

void TFMain::ExitClick()
{
    Terminal().m_Abort = true;
    close();
}

void TFMain::closeEvent(QCloseEvent* event)
{
    if (!ConfirmLoss()) {
        event->ignore();
        return;
    }
    m_Ops.EndSession();
    m_Settings.Com = m_SessionPort.isEmpty() ? m_Ops.ComPort : m_Settings.Com;
    m_Settings.ActLanguage = m_CurrentLanguage;
    m_Settings.KeepCopies = m_Ops.KeepCopies ? 1 : 0;
    // A compositor that places windows itself (Wayland) tells no real place.
    if (QGuiApplication::platformName() != "wayland" && PlaceOnScreen(frameGeometry(), AvailableScreens())) {
        m_Settings.Left = pos().x();
        m_Settings.Top = pos().y();
    }
    m_Settings.Height = height();
    m_Settings.Width = width();
    if (m_SessionPort.isEmpty()) {
        m_Settings.ModemNumber = m_Ops.ModemNumber;
        m_Settings.IsModem = m_Ops.IsModem;
        m_Settings.ModemId = m_Ops.ModemId;
    }
    if (auto* modem = dynamic_cast<CHayesTelephony*>(Terminal().Telephony())) {
        m_Settings.ModemInit = modem->m_InitString;
        m_Settings.ModemPulse = modem->m_PulseDial ? 1 : 0;
    }
    TFileStatus status;
    if (!m_Settings.Write(m_SettingsPath, &status))
        qWarning("Settings not saved to '%s': %s", qPrintable(m_SettingsPath), qPrintable(status.Reason));
    event->accept();
}

// ---------------------------------------------------------------- operation UI

void TFMain::ShowProgress(bool show, int textNumber, bool withBar)
{
    if (!show) {
        if (m_Progress) {
            m_Progress->Active = false;
            m_Progress->hide();
            m_Progress->deleteLater();
            m_Progress = nullptr;
        }
        return;
    }
    // A second request while one is shown (the upgrade inside a read) reuses it.
    if (!m_Progress) m_Progress = new TFProgress(this);
    // Filled before it is sized and centred, so it shows centred.
    m_Progress->Message->setText(Language().Text(textNumber));
    m_Progress->Bar->setVisible(withBar);
    m_Progress->CancelButton->setVisible(true);
    m_Progress->CancelButton->setEnabled(true);
    m_Progress->Bar->setValue(0);
    m_Progress->adjustSize();
    CentreOn(m_Progress, this);
    m_Progress->show();
    QCoreApplication::processEvents();
    m_Progress->Cancelled = false;
    m_Progress->Active = true;
}

void TFMain::SetProgressLabel(const QString& text)
{
    if (m_Progress) m_Progress->Message->setText(text);
}

void TFMain::SetProgressMax(int max)
{
    if (m_Progress) m_Progress->Bar->setMaximum(max);
}

void TFMain::SetProgressPos(int pos)
{
    if (m_Progress) m_Progress->Bar->setValue(pos);
}

void TFMain::SetCancelVisible(bool visible)
{
    if (m_Progress) m_Progress->CancelButton->setVisible(visible);
}

void TFMain::SetProgressNotice(const QString& text)
{
    if (m_Progress) m_Progress->SetNotice(text);
}

bool TFMain::Cancelled() const { return m_Progress && m_Progress->Cancelled; }

void TFMain::Message(const QString& text, TIcon icon)
{
    TProgressAside aside(m_Progress);
    m_Prompts->Message(this, Language().Text(0), text, icon);
}

bool TFMain::Ask(const QString& text, TIcon icon, TDefaultAnswer preset)
{
    TProgressAside aside(m_Progress);
    return m_Prompts->Ask(this, Language().Text(0), text, icon, preset);
}

QString TFMain::ChooseFirmware(const QStringList& paths)
{
    TProgressAside aside(m_Progress);
    return m_Prompts->ChooseFirmware(*FFirmwareChoice, paths);
}

void TFMain::ProcessEvents() { QCoreApplication::processEvents(); }

std::string TFMain::GatewayIdent() const
{
    const auto& id = m_Ops.GatewayIdent;
    return std::string(id.data(), strnlen(id.data(), id.size()));
}
