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
    QGroupBox* g1 = MakeGroup("GroupBox1", 49);
    auto* f1 = new QFormLayout(g1);
    Edit5 = MakeEdit("Edit5", 16);
    AddRow(f1, 50, Edit5);
    Memo2 = new QPlainTextEdit(this);
    Memo2->setObjectName("Memo2");
    Memo2->setTabChangesFocus(true);
    Memo2->setFixedHeight(Memo2->fontMetrics().lineSpacing() * 3 + 12);
    AddRow(f1, 51, Memo2);
    // The gateway keeps 40 characters; typing stops there.
    connect(Memo2, &QPlainTextEdit::textChanged, this, [this] {
        const QString t = Memo2->toPlainText();
        if (t.size() > kSmsLength) {
            Memo2->setPlainText(t.left(kSmsLength));
            Memo2->moveCursor(QTextCursor::End);
        }
    });
    QGroupBox* g2 = MakeGroup("GroupBox2", 52);
    auto* f2 = new QFormLayout(g2);
    Edit1 = MakeEdit("Edit1", 5);
    UpDown4 = MakeUpDown("UpDown4", Edit1, 0, 25500, 100);
    AddRow(f2, 53, EditWithUpDown(Edit1, UpDown4));
    Edit7 = MakeEdit("Edit7", 4);
    UpDown6 = MakeUpDown("UpDown6", Edit7, 0, 2550, 10);
    AddRow(f2, 54, EditWithUpDown(Edit7, UpDown6));
    top->addWidget(g1);
    top->addWidget(g2);
    top->addStretch();
}

void TFSmsInput::LoadFromParameters()
{
    TranslatePage(this);
    Bindings().ClearControls();
    BindEdit("PhoneNumForSMS", Edit5);
    BindMemo("SMSText", Memo2);
    BindEdit("SendAfterMS", Edit1);
    BindEdit("TimeOfIdleS", Edit7);
    Bindings().ControlsFromValues();
}

void TFSmsInput::StoreToParameters() { Bindings().ValuesFromControls(); }
