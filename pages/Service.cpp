#include "Service.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TFService::TFService(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFService");
    auto* top = new QVBoxLayout(this);
    QGroupBox* ident = MakeGroup("IdentificationGroup", 75);
    auto* fi = new QFormLayout(ident);
    auto display = [this](QLabel*& l, const char* name) {
        l = new QLabel(this);
        l->setObjectName(name);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    AddRow(fi, 76, display(HardwareVersion, "HardwareVersion"));
    AddRow(fi, 77, display(FirmwareVersion, "FirmwareVersion"));
    AddRow(fi, 78, display(SerialNumber, "SerialNumber"));
    AddRow(fi, 56, display(OperatorLock, "OperatorLock"));

    auto* general = new QFormLayout;
    ComPortEnabled = MakeCheck("ComPortEnabled", 84);
    general->addRow(ComPortEnabled);
    LongestDataConnection = MakeEdit("LongestDataConnection", 3);
    LongestDataConnectionUpDown = MakeUpDown("LongestDataConnectionUpDown", LongestDataConnection, 0, 255);
    AddRow(general, 289, EditWithUpDown(LongestDataConnection, LongestDataConnectionUpDown));

    QGroupBox* g1 = MakeGroup("OperatingSmsGroup", 153);
    auto* f1 = new QFormLayout(g1);
    OperatingSmsHours = MakeEdit("OperatingSmsHours", 3);
    OperatingSmsHoursUpDown = MakeUpDown("OperatingSmsHoursUpDown", OperatingSmsHours, 0, 255);
    AddRow(f1, 154, EditWithUpDown(OperatingSmsHours, OperatingSmsHoursUpDown));
    ServiceSmsNumber = MakeEdit("ServiceSmsNumber", 16);
    AddRow(f1, 155, ServiceSmsNumber);

    QGroupBox* g2 = MakeGroup("SupervisionGroup", 260);
    auto* f2 = new QGridLayout(g2);
    QLabel* numbers = MakeLabel(nullptr, 261);
    QLabel* substrings = MakeLabel(nullptr, 262);
    f2->addWidget(numbers, 0, 1);
    f2->addWidget(substrings, 0, 2);
    for (int i = 0; i < 5; ++i) {
        const QByteArray row = QByteArray::number(i + 1);
        const QByteArray number = "SupervisionNumber" + row;
        const QByteArray sub = "SupervisionSubstring" + row;
        const QByteArray ud = "SupervisionSubstringUpDown" + row;
        Numbers[size_t(i)] = MakeEdit(number.constData(), 16);
        Substrings[size_t(i)] = MakeEdit(sub.constData(), 3);
        TUpDown* u = MakeUpDown(ud.constData(), Substrings[size_t(i)], 0, 15);
        f2->addWidget(new QLabel(QString("%1.").arg(i + 1), this), i + 1, 0);
        f2->addWidget(Numbers[size_t(i)], i + 1, 1);
        f2->addWidget(EditWithUpDown(Substrings[size_t(i)], u), i + 1, 2);
    }
    // The column headings lead to the first row.
    numbers->setBuddy(Numbers[0]);
    substrings->setBuddy(Substrings[0]);
    f2->setColumnStretch(1, 1);
    top->addWidget(ident);
    top->addLayout(general);
    top->addWidget(g1);
    top->addWidget(g2);
    top->addStretch();
}

void TFService::LoadFromParameters()
{
    TranslatePage(this);
    // Each field of the table by its column and row, as a screen reader reads it.
    for (int i = 0; i < 5; ++i) {
        const QString row = QString(" %1").arg(i + 1);
        Numbers[size_t(i)]->setAccessibleName(Language().Text(261) + row);
        Substrings[size_t(i)]->setAccessibleName(Language().Text(262) + row);
    }
    Bindings().ClearControls();
    BindCheck("COMPerm", ComPortEnabled, true);
    BindEdit("SMSCandence", OperatingSmsHours);
    BindEdit("SMSNum", ServiceSmsNumber);
    BindEdit("MaxDataTime", LongestDataConnection);
    for (int i = 0; i < 5; ++i) BindEdit(("ModemNum" + std::to_string(i + 1)).c_str(), Numbers[size_t(i)]);
    for (int i = 0; i < 5; ++i) BindEdit(("SubString" + std::to_string(i + 1)).c_str(), Substrings[size_t(i)]);
    Bindings().ControlsFromValues();
    const struct {
        QLabel* label;
        const char* key;
    } shown[] = {{HardwareVersion, "HWVer"}, {FirmwareVersion, "SWVer"}, {SerialNumber, "SerialNum"}};
    for (const auto& s : shown) {
        const std::string v = Parameters().GetValue(s.key, 0);
        s.label->setText(v.empty() ? Language().Text(101) : FromBytes(v));
    }
    OperatorLock->setText(OperLockText(Parameters().GetValue("OperLock", 0)));
}

void TFService::StoreToParameters() { Bindings().ValuesFromControls(); }
