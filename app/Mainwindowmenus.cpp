// The window's menus, tool bar and language buttons, and the switch of the
// whole window into another language.
#include "Mainwindow.h"

#include "Commonutils.h"
#include "Formtexts.h"
#include "Globals.h"
#include "Language.h"
#include "Pageform.h"
#include "Progress.h"

#include <QAction>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollArea>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <functional>

namespace {
const char* const kLanguageIds[7] = {"Cze", "Eng", "Slo", "Ger", "Pol", "Fin", "Tur"};
const char* const kLanguageButtons[7] = {"BLCze", "BLEng", "BLSlo", "BLGer", "BLPol", "BLFin", "BLTur"};
// Page list entries and their texts; entry 7 is the GSM monitor.
const int kPageTexts[8] = {4, 5, 6, 7, 8, 9, 10, 17};
// Texts of the extra file commands.
const int kTextNew = 291, kTextSave = 292;
const int kTextPageList = 571;

// The style greys a disabled icon, which leaves dark glyphs looking enabled:
// a disabled button shows its glyph faint instead.
QIcon WithDisabledLook(const QIcon& icon, const QSize& size)
{
    QIcon result;
    for (const int scale : {1, 2}) {
        const QPixmap normal = icon.pixmap(size * scale);
        if (normal.isNull()) continue;
        QPixmap faint(normal.size());
        faint.fill(Qt::transparent);
        QPainter p(&faint);
        p.setOpacity(0.3);
        p.drawPixmap(0, 0, normal);
        p.end();
        result.addPixmap(normal, QIcon::Normal);
        result.addPixmap(faint, QIcon::Disabled);
    }
    return result;
}
}  // namespace

void TFMain::BuildMenus()
{
    auto action = [this](const char* name, QMenu* menu, const QKeySequence& key, auto slot) {
        auto* a = menu->addAction(QString());
        a->setObjectName(name);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this, slot] { (this->*slot)(); });
        return a;
    };
    ApplicationMenu = menuBar()->addMenu(QString());
    ApplicationMenu->setObjectName("ApplicationMenu");
    SettingsAction =
        action("SettingsAction", ApplicationMenu, QKeySequence(Qt::CTRL | Qt::Key_Comma), &TFMain::SettingsClick);
    ApplicationMenu->addSeparator();
    ConnectAction = action("ConnectAction", ApplicationMenu, {}, &TFMain::ConnectModem);
    DisconnectAction = action("DisconnectAction", ApplicationMenu, {}, &TFMain::HangUpModem);
    ApplicationMenu->addSeparator();
    AboutAction = action("AboutAction", ApplicationMenu, QKeySequence(Qt::Key_F1), &TFMain::AboutClick);
    ExitAction = action("ExitAction", ApplicationMenu, QKeySequence(Qt::CTRL | Qt::Key_Q), &TFMain::ExitClick);
    GatewayMenu = menuBar()->addMenu(QString());
    GatewayMenu->setObjectName("GatewayMenu");
    NewAction = action("NewAction", GatewayMenu, QKeySequence::New, &TFMain::NewClick);
    LoadAction = action("LoadAction", GatewayMenu, QKeySequence::Open, &TFMain::LoadClick);
    SaveAction = action("SaveAction", GatewayMenu, QKeySequence::Save, &TFMain::SaveClick);
    // Spelled out: the toolkit binds "Save as" to no key outside some desktops.
    SaveAsAction =
        action("SaveAsAction", GatewayMenu, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TFMain::SaveAsClick);
    GatewayMenu->addSeparator();
    ReadAction = action("ReadAction", GatewayMenu, QKeySequence(Qt::Key_F5), &TFMain::ReadFromGateway);
    WriteAction = action("WriteAction", GatewayMenu, QKeySequence(Qt::Key_F6), &TFMain::WriteToGateway);
    GatewayMenu->addSeparator();
    UpgradeAction = action("UpgradeAction", GatewayMenu, {}, &TFMain::UpgradeFirmware);
    PageMenu = new QMenu(this);
    PageMenu->setObjectName("PageMenu");
}

void TFMain::BuildToolBar()
{
    auto* bar = new QToolBar(this);
    bar->setObjectName("ToolBar");
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar = bar;
    addToolBar(Qt::TopToolBarArea, bar);
    const QStyle::StandardPixmap icons[8] = {QStyle::SP_ArrowDown,
                                             QStyle::SP_ArrowUp,
                                             QStyle::SP_DialogOpenButton,
                                             QStyle::SP_DialogSaveButton,
                                             QStyle::SP_FileDialogDetailedView,
                                             QStyle::SP_DriveNetIcon,
                                             QStyle::SP_BrowserReload,
                                             QStyle::SP_DialogCloseButton};
    const std::function<void()> handlers[8] = {[this] { ReadFromGateway(); }, [this] { WriteToGateway(); },
                                               [this] { LoadClick(); },       [this] { SaveAsClick(); },
                                               [this] { SettingsClick(); },   [this] { ConnectModem(); },
                                               [this] { UpgradeFirmware(); }, [this] { HangUpModem(); }};
    for (int i = 0; i < 8; ++i) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString("ToolButton%1").arg(i + 1));
        b->setIcon(WithDisabledLook(style()->standardIcon(icons[i]), bar->iconSize()));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, handlers[i]);
        ToolButtons[size_t(i)] = b;
        bar->addWidget(b);
        if (i == 1 || i == 3 || i == 4 || i == 6) bar->addSeparator();
    }
    BuildCompareCommands(bar);
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    m_LanguageGroup = new QButtonGroup(this);
    m_LanguageGroup->setExclusive(true);
    for (int i = 0; i < 7; ++i) {
        auto* b = new QToolButton(bar);
        b->setObjectName(kLanguageButtons[i]);
        b->setText(kLanguageIds[i]);
        b->setCheckable(true);
        b->setEnabled(false);
        b->setAutoRaise(true);
        m_LanguageGroup->addButton(b);
        const QString id = kLanguageIds[i];
        connect(b, &QToolButton::clicked, this, [this, id] { LanguageButtonClick(id); });
        LanguageButtons[size_t(i)] = b;
        bar->addWidget(b);
    }
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(bar, &QToolBar::customContextMenuRequested, this,
            [this](const QPoint& at) { PageMenu->popup(ToolBar->mapToGlobal(at)); });
}

// The buttons of the languages that are installed, each named in its own language.
void TFMain::EnableLanguageButtons()
{
    for (int i = 0; i < 7; ++i) {
        const int lang = Language().FindLanguage(kLanguageIds[i]);
        LanguageButtons[size_t(i)]->setEnabled(lang >= 0);
        if (lang >= 0) LanguageButtons[size_t(i)]->setToolTip(Language().LanguageName(lang));
    }
}

void TFMain::SetLanguage(int lang)
{
    CLanguage& l = Language();
    if (lang < 0 || lang >= l.LanguageCount()) return;
    m_CurrentLanguage = lang;
    for (int i = 0; i < 7; ++i) {
        const int found = l.FindLanguage(kLanguageIds[i]);
        if (found >= 0) LanguageButtons[size_t(i)]->setChecked(found == lang);
    }
    l.LoadLanguage(lang);
    LoadQtTranslations(l.Language(lang).Id);
    ApplyToForm(l, this);
    UpdateCaption();  // the marker's place in the title at once
    for (int i = 0; i < 8; ++i) PageList->item(i)->setText(l.Text(kPageTexts[i]));
    if (m_CurrentPageIndex >= 0) PageTitle->setText(PageList->item(m_CurrentPageIndex)->text());
    PageArea->setAccessibleName(PageTitle->text());
    const int hints[8] = {69, 70, 73, 74, 18, 244, 68, 245};
    for (int i = 0; i < 8; ++i) {
        // Speed buttons 6 and 8 take the hint texts of their numbers, the others the texts
        // (text 18 is also a menu item's).
        ToolButtons[size_t(i)]->setToolTip(i == 5 || i == 7 ? l.Hint(hints[i]) : CaptionText(l.Text(hints[i])));
        // A screen reader names a button by what it does, not by its hint.
        ToolButtons[size_t(i)]->setAccessibleName(CaptionText(l.Text(hints[i])));
    }
    for (int i = 0; i < 7; ++i)
        if (const int found = l.FindLanguage(kLanguageIds[i]); found >= 0)
            LanguageButtons[size_t(i)]->setAccessibleName(l.LanguageName(found));
    PageList->setAccessibleName(l.Text(kTextPageList));
    ApplicationMenu->setTitle(l.Text(242));
    SettingsAction->setText(l.Text(18));
    ConnectAction->setText(l.Text(244));
    DisconnectAction->setText(l.Text(245));
    AboutAction->setText(l.Text(19));
    ExitAction->setText(l.Text(21));
    GatewayMenu->setTitle(l.Text(243));
    NewAction->setText(l.Text(kTextNew));
    LoadAction->setText(l.Text(72));
    SaveAction->setText(l.Text(kTextSave));
    SaveAsAction->setText(l.Text(71));
    ReadAction->setText(l.Text(12));
    WriteAction->setText(l.Text(13));
    UpgradeAction->setText(l.Text(11));
    // After the menu titles: the page's Alt letters keep clear of theirs.
    if (m_CurrentPage) {
        m_CurrentPage->StoreToParameters();
        m_CurrentPage->LoadFromParameters();
    }
    if (m_ClosedNotice->isVisible()) ShowClosedNotice(true);
    if (m_Progress) m_Progress->setWindowTitle(l.Text(0));
    TranslateCompareCommands();
    TranslateSheetCommands();
    UpdateCaption();
    UpdateLinkControls();
}

void TFMain::LoadQtTranslations(const QString& languageId)
{
    static const std::pair<const char*, const char*> codes[] = {
        {"Cze", "cs"}, {"Slo", "sk"}, {"Ger", "de"}, {"Pol", "pl"}, {"Fin", "fi"}, {"Tur", "tr"}, {"Eng", "en"}};
    QString code;
    for (const auto& [id, c] : codes)
        if (languageId == id) code = c;
    if (m_QtTranslator) {
        QCoreApplication::removeTranslator(m_QtTranslator.get());
        m_QtTranslator.reset();
    }
    QLocale::setDefault(code.isEmpty() ? QLocale::system() : QLocale(code));
    // Without the translations installed the standard buttons stay English.
    auto translator = std::make_unique<QTranslator>();
    if (!code.isEmpty() && code != "en" &&
        translator->load("qtbase_" + code, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get()))
        m_QtTranslator = std::move(translator);
    // Every widget hears of the switch now, not when a later box is already up
    // (a box retranslates its buttons when it hears of it).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

void TFMain::LanguageButtonClick(const QString& id)
{
    const int lang = Language().FindLanguage(id);
    if (lang >= 0) SetLanguage(lang);
}

void TFMain::UpdateCaption()
{
    QString caption = Language().Text(0);
    if (!m_FileName.isEmpty()) caption += " - " + QFileInfo(m_FileName).fileName();
    // The marker of unsaved changes stands at the end of the title.
    setWindowTitle(caption + "[*]");
}
