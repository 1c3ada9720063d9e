#include "Dialingdialog.h"

#include "Formtexts.h"
#include "Globals.h"
#include "Hayesmodem.h"
#include "Language.h"
#include "Terminal.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TFDialingDialog::TFDialingDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      MessageList(new QListWidget(this)),
      CloseButton(new QPushButton(this))
{
    setObjectName("TFDialingDialog");
    MessageList->setObjectName("MessageList");
    CloseButton->setObjectName("CloseButton");
    auto* l = new QVBoxLayout(this);
    l->addWidget(MessageList);
    l->addWidget(CloseButton, 0, Qt::AlignRight);
    resize(388, 191);
    connect(CloseButton, &QPushButton::clicked, this, [this] {
        m_Pressed = true;
        hide();
        if (isModal()) reject();
    });
}

void TFDialingDialog::showEvent(QShowEvent* event)
{
    ApplyToForm(Language(), this);
    // The list of the call's steps is what the window is about.
    MessageList->setAccessibleName(windowTitle());
    QDialog::showEvent(event);
}

void TFDialingDialog::Prepare()
{
    const CCOMTerminal& t = Terminal();
    SetTag(this, t.m_TextIds[9]);
    SetTag(CloseButton, t.m_TextIds[10]);
    m_Pressed = false;
    if (parentWidget()) CentreOn(this, parentWidget());
    MessageList->clear();
    show();
}

void TFDialingDialog::Add(const QString& message)
{
    MessageList->addItem(message);
    MessageList->scrollToBottom();
}

void TFDialingDialog::RunModal()
{
    hide();
    m_Pressed = false;
    exec();
}

void TFDialingDialog::CloseModal()
{
    if (isVisible()) accept();
}

void ConfigureModem(QWidget* owner, CCOMTerminal& terminal, const QString& name)
{
    const int found = terminal.FindDevice(name);
    auto* modem = dynamic_cast<CHayesTelephony*>(terminal.Telephony());
    if (found < 0 || !modem) return;
    const unsigned id = unsigned(found);
    const std::vector<TLineDevice> devices = modem->Devices();
    if (id >= devices.size()) return;
    CLanguage& l = Language();
    QDialog d(owner);
    d.setWindowTitle(l.Text(296) + " - " + devices[id].name);
    auto* form = new QFormLayout;
    auto* init = new QLineEdit(modem->m_InitString, &d);
    auto* mode = new QComboBox(&d);
    mode->addItems({l.Item(298, 0), l.Item(298, 1)});
    mode->setCurrentIndex(modem->m_PulseDial ? 1 : 0);
    auto* timeout = new QSpinBox(&d);
    timeout->setRange(10, 300);
    timeout->setValue(modem->m_DialTimeoutMs / 1000);
    form->addRow(l.Text(297), init);
    form->addRow(l.Text(298), mode);
    form->addRow(l.Text(299), timeout);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    buttons->button(QDialogButtonBox::Ok)->setText(l.Text(1));
    buttons->button(QDialogButtonBox::Cancel)->setText(l.Text(2));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    auto* v = new QVBoxLayout(&d);
    v->addLayout(form);
    v->addWidget(buttons);
    if (d.exec() != QDialog::Accepted) return;
    modem->m_InitString = init->text();
    modem->m_PulseDial = mode->currentIndex() == 1;
    modem->m_DialTimeoutMs = timeout->value() * 1000;
}
