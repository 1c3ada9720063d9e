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
      GroupBox2(new QGroupBox(this)),
      RadioButton1(new QRadioButton(GroupBox2)),
      RadioButton2(new QRadioButton(GroupBox2)),
      GroupBox3(new QGroupBox(this)),
      ComboBox1(new QComboBox(GroupBox3)),
      TD(new QComboBox(GroupBox3)),
      Button1(new QPushButton(GroupBox3)),
      Button2(new QPushButton(GroupBox3)),
      Label1(new QLabel(GroupBox3)),
      Edit1(new QLineEdit(GroupBox3)),
      Label4(new QLabel(GroupBox3)),
      CheckBox1(new QCheckBox(this)),
      Button3(new QPushButton(this)),
      Button4(new QPushButton(this))
{
    setObjectName("TFSettingsDialog");
    SetTag(this, 18);
    SetTag(GroupBox2, 250);
    SetTag(RadioButton1, 251);
    SetTag(RadioButton2, 252);
    SetTag(GroupBox3, 255);
    SetTag(Button1, 253);
    SetTag(Button2, 300);
    Button2->setObjectName("Button2");
    SetTag(Label1, 254);
    SetTag(CheckBox1, 413);
    CheckBox1->setObjectName("CheckBox1");
    SetTag(Button3, 1);
    SetTag(Button4, 2);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setEditable(true);  // a device path may be typed
    // Enter confirms the dialog with what was typed; it adds no list entry.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMinimumWidth(260);
    TD->setObjectName("TD");
    // A modem behind a terminal server is typed as its port, rfc2217://HOST:PORT.
    TD->setEditable(true);
    TD->setInsertPolicy(QComboBox::NoInsert);
    Edit1->setObjectName("Edit1");
    Label4->setBuddy(ComboBox1);
    Label1->setBuddy(Edit1);

    auto* modes = new QVBoxLayout(GroupBox2);
    modes->addWidget(RadioButton1);
    modes->addWidget(RadioButton2);
    auto* grid = new QGridLayout(GroupBox3);
    grid->addWidget(Label4, 0, 0);
    grid->addWidget(ComboBox1, 0, 1);
    // The modem list takes the port box's place beside the label: only one of them shows.
    grid->addWidget(TD, 0, 1);
    grid->addWidget(Button1, 0, 2);
    grid->addWidget(Button2, 0, 3);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(Edit1, 1, 1);
    grid->setColumnStretch(1, 1);  // room beyond the labels goes to the fields
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button3);
    buttons->addWidget(Button4);
    auto* l = new QVBoxLayout(this);
    l->addWidget(GroupBox2);
    l->addWidget(GroupBox3);
    l->addWidget(CheckBox1);
    l->addLayout(buttons);
    Button3->setDefault(true);
    connect(Button3, &QPushButton::clicked, this, [this] { done(100); });
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
    connect(RadioButton1, &QRadioButton::clicked, this, &TFSettingsDialog::FormActivate);
    connect(RadioButton2, &QRadioButton::clicked, this, &TFSettingsDialog::FormActivate);
    connect(Button1, &QPushButton::clicked, this, &TFSettingsDialog::Configure);
    connect(Button2, &QPushButton::clicked, this, &TFSettingsDialog::Button2Click);
}

QString TFSettingsDialog::ChosenPort() const
{
    const QString text = ComboBox1->currentText().trimmed();
    if (text.isEmpty()) return QString("Com1");
    // A listed entry stands for its port name; anything else is a typed device path.
    const int i = ComboBox1->findText(text);
    return i >= 0 ? ComboBox1->itemData(i).toString() : text;
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
    (o.IsModem ? RadioButton2 : RadioButton1)->setChecked(true);
    FillModems(o.ModemId);
    if (TD->count() == 0) {
        RadioButton1->setChecked(true);
        RadioButton2->setEnabled(false);
        o.IsModem = false;
    } else {
        RadioButton2->setEnabled(true);
    }
    Edit1->setText(o.ModemNumber);
    CheckBox1->setChecked(o.KeepCopies);
    ComboBox1->clear();
    for (int i = 1; i <= 8; ++i) ComboBox1->addItem(QString("COM %1").arg(i), QString("Com%1").arg(i));
    QStringList legacy;
    for (int i = 1; i <= 8; ++i) legacy << TComm::DevicePath(QString("Com%1").arg(i));
    for (const TSerialDevice& d : TComm::ListSerialDevices()) {
        // The first eight legacy ports are already there as COM 1 to COM 8.
        if (legacy.contains(d.path)) continue;
        ComboBox1->addItem(d.name + "  (" + QFileInfo(d.device).fileName() + ")", d.path);
    }
    // A terminal server's port that was typed stays in the list under its own name.
    if (IsNetworkPort(o.ComPort)) ComboBox1->addItem(o.ComPort, o.ComPort);
    const int known = ComboBox1->findData(o.ComPort);
    ComboBox1->setCurrentIndex(std::max(known, 0));
    if (known < 0 && o.ComPort.startsWith('/')) ComboBox1->setEditText(o.ComPort);
    adjustSize();
    CentreOn(this, &main);
    if (exec() != 100) return;
    const QString newPort = ChosenPort();
    o.CloseGatewayLink();
    o.ComPort = newPort;
    o.IsModem = RadioButton2->isChecked();
    o.ModemId = ChosenModem();
    term.IncludeDevice(o.ModemId);
    o.ModemNumber = Edit1->text();
    o.KeepCopies = CheckBox1->isChecked();
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
    const bool cable = RadioButton1->isChecked();
    ComboBox1->setVisible(cable);
    for (QWidget* w : {static_cast<QWidget*>(TD), static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(Label1), static_cast<QWidget*>(Edit1)})
        w->setVisible(!cable);
    Label4->setText(Language().Text(cable ? 135 : 249));
    Label4->setBuddy(cable ? static_cast<QWidget*>(ComboBox1) : static_cast<QWidget*>(TD));
    // Each list keeps its name while the label serves the other.
    ComboBox1->setAccessibleName(WithoutMnemonic(Language().Text(135)));
    TD->setAccessibleName(WithoutMnemonic(Language().Text(249)));
    // Their typing fields are named with them.
    for (QComboBox* box : {ComboBox1, TD})
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

void TFSettingsDialog::Button2Click()
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
    RadioButton2->setEnabled(TD->count() > 0);
    m_Main->Message(lines.join('\n'), TIcon::Information);
}

void TFSettingsDialog::Configure()
{
    if (TD->currentIndex() >= 0) ConfigureModem(this, Terminal(), TD->currentText());
}
