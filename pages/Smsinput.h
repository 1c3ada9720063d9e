// SMS input page: the SMS the gateway sends when its logical input closes.
#pragma once
#include "Pageform.h"

class TFSmsInput : public TFPage {
    Q_OBJECT
public:
    explicit TFSmsInput(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QLineEdit *SmsPhoneNumber, *SendAfter, *IdleAfterSending;
    QPlainTextEdit* SmsText;
    TUpDown *SendAfterUpDown, *IdleAfterSendingUpDown;
};
