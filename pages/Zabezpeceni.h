// Security page: the PIN and the service password, and whether they were changed.
#pragma once
#include "Dform.h"

class TFZabezpeceni : public TFDForm {
    Q_OBJECT
public:
    explicit TFZabezpeceni(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QLineEdit *Edit6, *Edit7;

private:
    QString m_LoadedPin;
    QString m_LoadedPassword;
};
