// SMS input page: the SMS the gateway sends when its logical input closes.
#pragma once
#include "Dform.h"

class TFLogickyVstup : public TFDForm {
    Q_OBJECT
public:
    explicit TFLogickyVstup(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QLineEdit *Edit5, *Edit1, *Edit7;
    QPlainTextEdit* Memo2;
    TUpDown *UpDown4, *UpDown6;
};
