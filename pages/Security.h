// Security page: the PIN and the service password, and whether they were changed.
#pragma once
#include "Pageform.h"

class TFSecurity : public TFPage {
    Q_OBJECT
public:
    explicit TFSecurity(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QLineEdit *PinEdit, *ServicePasswordEdit;

private:
    QString m_LoadedPin;
    QString m_LoadedPassword;
};
