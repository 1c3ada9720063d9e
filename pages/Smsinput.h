// SMS input page: the SMS the gateway sends when its logical input closes.
#pragma once
#include "Pageform.h"

class TFSmsInput : public TFPage {
    Q_OBJECT
public:
    explicit TFSmsInput(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QLineEdit *Edit5, *Edit1, *Edit7;
    QPlainTextEdit* Memo2;
    TUpDown *UpDown4, *UpDown6;
};
