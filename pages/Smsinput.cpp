#include "Smsinput.h"

#include "Globals.h"
#include "Keyboard.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

static const int kSmsLength = 40;

TFSmsInput::TFSmsInput(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFSmsInput");
    auto* top = new QVBoxLayout(this);
    QGroupBox* g1 = MakeGroup("SmsGroup", 49);
    auto* f1 = new QFormLayout(g1);
    SmsPhoneNumber = MakeEdit("SmsPhoneNumber", 16);
    AddRow(f1, 50, SmsPhoneNumber);
    SmsText = new QPlainTextEdit(this);
    SmsText->setObjectName("SmsText");
    SmsText->setTabChangesFocus(true);
    SmsText->setFixedHeight(SmsText->fontMetrics().lineSpacing() * 3 + 12);
    // Three lines and no more: the group does not take the page's spare height.
    SmsText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    AddRow(f1, 51, SmsText);
    // The gateway keeps 40 characters; typing stops there.
    connect(SmsText, &QPlainTextEdit::textChanged, this, [this] {
        const QString t = SmsText->toPlainText();
        if (t.size() > kSmsLength) {
            SmsText->setPlainText(t.left(kSmsLength));
            SmsText->moveCursor(QTextCursor::End);
        }
    });
    QGroupBox* g2 = MakeGroup("DelaysGroup", 52);
    auto* f2 = new QFormLayout(g2);
    SendAfter = MakeEdit("SendAfter", 5);
    SendAfterUpDown = MakeUpDown("SendAfterUpDown", SendAfter, 0, 25500, 100);
    AddRow(f2, 53, EditWithUpDown(SendAfter, SendAfterUpDown));
    IdleAfterSending = MakeEdit("IdleAfterSending", 4);
    IdleAfterSendingUpDown = MakeUpDown("IdleAfterSendingUpDown", IdleAfterSending, 0, 2550, 10);
    AddRow(f2, 54, EditWithUpDown(IdleAfterSending, IdleAfterSendingUpDown));
    top->addWidget(g1);
    top->addWidget(g2);
    top->addStretch();
}

void TFSmsInput::LoadFromParameters()
{
    TranslatePage(this);
    Bindings().ClearControls();
    BindEdit("PhoneNumForSMS", SmsPhoneNumber);
    BindMemo("SMSText", SmsText);
    BindEdit("SendAfterMS", SendAfter);
    BindEdit("TimeOfIdleS", IdleAfterSending);
    Bindings().ControlsFromValues();
}

void TFSmsInput::StoreToParameters() { Bindings().ValuesFromControls(); }
