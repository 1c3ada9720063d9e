#include "Settingsdialog.h"

#include "Commonutils.h"
#include "Dialing.h"
#include "Dialingdialog.h"
#include "Hayesmodem.h"
#include "Terminal.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Netport.h"
#include "Prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

TFSettingsDialog::TFSettingsDialog(QWidget* parent)
    : QDialog(parent),
      ConnectionGroup(new QGroupBox(this)),
      CableMode(new QRadioButton(ConnectionGroup)),
      ModemMode(new QRadioButton(ConnectionGroup)),
      ParametersGroup(new QGroupBox(this)),
      SerialPort(new QComboBox(ParametersGroup)),
      TD(new QComboBox(ParametersGroup)),
      ConfigureButton(new QPushButton(ParametersGroup)),
      FindModemsButton(new QPushButton(ParametersGroup)),
      ModemNumberLabel(new QLabel(ParametersGroup)),
      ModemNumber(new QLineEdit(ParametersGroup)),
      SerialPortLabel(new QLabel(ParametersGroup)),
      KeepCopyBox(new QCheckBox(this)),
      OkButton(new QPushButton(this)),
      CancelButton(new QPushButton(this))
{
    setObjectName("TFSettingsDialog");
    SetTag(this, 18);
    SetTag(ConnectionGroup, 250);
    SetTag(CableMode, 251);
    SetTag(ModemMode, 252);
    SetTag(ParametersGroup, 255);
    SetTag(ConfigureButton, 253);
    SetTag(FindModemsButton, 300);
    FindModemsButton->setObjectName("FindModemsButton");
    SetTag(ModemNumberLabel, 254);
    SetTag(KeepCopyBox, 413);
    KeepCopyBox->setObjectName("KeepCopyBox");
    SetTag(OkButton, 1);
    SetTag(CancelButton, 2);
    SerialPort->setObjectName("SerialPort");
    SerialPort->setEditable(true);  // a device path may be typed
    // Enter confirms the dialog with what was typed; it adds no list entry.
    SerialPort->setInsertPolicy(QComboBox::NoInsert);
    TD->setObjectName("TD");
    // A modem behind a terminal server is typed as its port, rfc2217://HOST:PORT.
    TD->setEditable(true);
    TD->setInsertPolicy(QComboBox::NoInsert);
    // Either box takes a typed device path or network port whole; the modem box
    // is sized by its short list otherwise.
    const int pathWidth = std::max(260, fontMetrics().horizontalAdvance("rfc2217://terminal-server.lan:4001") + 40);
    SerialPort->setMinimumWidth(pathWidth);
    TD->setMinimumWidth(pathWidth);
    ModemNumber->setObjectName("ModemNumber");
    SerialPortLabel->setBuddy(SerialPort);
    ModemNumberLabel->setBuddy(ModemNumber);

    auto* modes = new QVBoxLayout(ConnectionGroup);
    modes->addWidget(CableMode);
    modes->addWidget(ModemMode);
    auto* grid = new QGridLayout(ParametersGroup);
    grid->addWidget(SerialPortLabel, 0, 0);
    grid->addWidget(SerialPort, 0, 1);
    // The modem list takes the port box's place beside the label: only one of them shows.
    grid->addWidget(TD, 0, 1);
    grid->addWidget(ConfigureButton, 0, 2);
    grid->addWidget(FindModemsButton, 0, 3);
    grid->addWidget(ModemNumberLabel, 1, 0);
    grid->addWidget(ModemNumber, 1, 1);
    grid->setColumnStretch(1, 1);  // room beyond the labels goes to the fields
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto* l = new QVBoxLayout(this);
    l->addWidget(ConnectionGroup);
    l->addWidget(ParametersGroup);
    l->addWidget(KeepCopyBox);
    l->addLayout(buttons);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, [this] { done(100); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(CableMode, &QRadioButton::clicked, this, &TFSettingsDialog::FormActivate);
    connect(ModemMode, &QRadioButton::clicked, this, &TFSettingsDialog::FormActivate);
    connect(ConfigureButton, &QPushButton::clicked, this, &TFSettingsDialog::Configure);
    connect(FindModemsButton, &QPushButton::clicked, this, &TFSettingsDialog::FindModemsClick);
}

QString TFSettingsDialog::ChosenPort() const
{
    const QString text = SerialPort->currentText().trimmed();
    if (text.isEmpty()) return QString("Com1");
    // A listed entry stands for its port name; anything else is a typed device path.
    const int i = SerialPort->findText(text);
    return i >= 0 ? SerialPort->itemData(i).toString() : text;
}

QString TFSettingsDialog::ChosenModem() const
{
    // A listed modem by its name, else a typed path or terminal server's port.
    const QString text = TD->currentText().trimmed();
    const int i = TD->findText(text, Qt::MatchFixedString);
    if (i >= 0) return TD->itemText(i);
    if (IsNetworkPort(text) || text.startsWith('/')) return text;
    return TD->currentIndex() >= 0 ? TD->itemText(TD->currentIndex()) : QString();
}

void TFSettingsDialog::Run(TFMain& main)
{
    CGatewayOps& o = main.m_Ops;
    CCOMTerminal& term = Terminal();
    m_Main = &main;
    (o.IsModem ? ModemMode : CableMode)->setChecked(true);
    FillModems(o.ModemId);
    if (TD->count() == 0) {
        CableMode->setChecked(true);
        ModemMode->setEnabled(false);
        o.IsModem = false;
    } else {
        ModemMode->setEnabled(true);
    }
    ModemNumber->setText(o.ModemNumber);
    KeepCopyBox->setChecked(o.KeepCopies);
    SerialPort->clear();
    for (int i = 1; i <= 8; ++i) SerialPort->addItem(QString("COM %1").arg(i), QString("Com%1").arg(i));
    QStringList legacy;
    for (int i = 1; i <= 8; ++i) legacy << TComm::DevicePath(QString("Com%1").arg(i));
    for (const TSerialDevice& d : TComm::ListSerialDevices()) {
        // The first eight legacy ports are already there as COM 1 to COM 8.
        if (legacy.contains(d.path)) continue;
        SerialPort->addItem(d.name + "  (" + QFileInfo(d.device).fileName() + ")", d.path);
    }
    // A terminal server's port that was typed stays in the list under its own name.
    if (IsNetworkPort(o.ComPort)) SerialPort->addItem(o.ComPort, o.ComPort);
    const int known = SerialPort->findData(o.ComPort);
    SerialPort->setCurrentIndex(std::max(known, 0));
    if (known < 0 && o.ComPort.startsWith('/')) SerialPort->setEditText(o.ComPort);
    adjustSize();
    CentreOn(this, &main);
    if (exec() != 100) return;
    const QString newPort = ChosenPort();
    o.CloseGatewayLink();
    o.ComPort = newPort;
    o.IsModem = ModemMode->isChecked();
    o.ModemId = ChosenModem();
    term.IncludeDevice(o.ModemId);
    o.ModemNumber = ModemNumber->text();
    o.KeepCopies = KeepCopyBox->isChecked();
    if (o.ModemConnected && !o.IsModem) term.HangUp();
    main.UpdateLinkControls();
}

void TFSettingsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormActivate();
}

void TFSettingsDialog::FormActivate()
{
    ApplyToForm(Language(), this);
    // The caption shares its text with the menu item that opens the dialog.
    setWindowTitle(CaptionText(Language().Text(18)));
    const bool cable = CableMode->isChecked();
    SerialPort->setVisible(cable);
    for (QWidget* w :
         {static_cast<QWidget*>(TD), static_cast<QWidget*>(ConfigureButton), static_cast<QWidget*>(FindModemsButton),
          static_cast<QWidget*>(ModemNumberLabel), static_cast<QWidget*>(ModemNumber)})
        w->setVisible(!cable);
    SerialPortLabel->setText(Language().Text(cable ? 135 : 249));
    SerialPortLabel->setBuddy(cable ? static_cast<QWidget*>(SerialPort) : static_cast<QWidget*>(TD));
    // Each list keeps its name while the label serves the other.
    SerialPort->setAccessibleName(WithoutMnemonic(Language().Text(135)));
    TD->setAccessibleName(WithoutMnemonic(Language().Text(249)));
    // Their typing fields are named with them.
    for (QComboBox* box : {SerialPort, TD})
        if (box->lineEdit()) box->lineEdit()->setAccessibleName(box->accessibleName());
    AssignMnemonics(this);
}

void TFSettingsDialog::FillModems(const QString& select)
{
    const CCOMTerminal& term = Terminal();
    TD->clear();
    for (int i = 0; i < term.m_DeviceCount; ++i) TD->addItem(term.m_DeviceNames[size_t(i)]);
    int sel = -1;
    for (int i = 0; i < TD->count(); ++i)
        if (TD->itemText(i).compare(select, Qt::CaseInsensitive) == 0) {
            sel = i;
            break;
        }
    if (sel < 0 && TD->count()) sel = 0;
    TD->setCurrentIndex(sel);
}

void TFSettingsDialog::FindModemsClick()
{
    auto* modem = dynamic_cast<CHayesTelephony*>(Terminal().Telephony());
    if (!modem || !m_Main) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    modem->Rescan();
    Terminal().RefreshDevices();
    const std::vector<TModemProbe> results = modem->ProbeDevices();
    QApplication::restoreOverrideCursor();
    const CLanguage& l = Language();
    QStringList lines;
    if (results.empty()) lines << l.Text(305);
    QString first;
    for (const TModemProbe& r : results) {
        QString state;
        switch (r.result) {
        case TModemProbe::Answers: state = l.Text(301); break;
        case TModemProbe::NoAnswer: state = l.Text(302); break;
        case TModemProbe::InUse: state = l.Text(303) + " (" + r.detail + ")"; break;
        case TModemProbe::CannotOpen: state = l.Text(304) + " " + r.detail; break;
        }
        lines << r.name + " (" + r.path + "): " + state;
        if (r.result == TModemProbe::Answers && first.isEmpty()) first = r.name;
    }
    FillModems(first.isEmpty() ? TD->currentText() : first);
    ModemMode->setEnabled(TD->count() > 0);
    m_Main->Message(lines.join('\n'), TIcon::Information);
}

void TFSettingsDialog::Configure()
{
    if (TD->currentIndex() >= 0) ConfigureModem(this, Terminal(), TD->currentText());
}
