// Service page: the gateway's identification and the service settings.
#pragma once
#include "Pageform.h"

#include <array>

class TFService : public TFPage {
    Q_OBJECT
public:
    explicit TFService(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QLabel *HardwareVersion, *FirmwareVersion, *SerialNumber, *OperatorLock;
    QCheckBox* ComPortEnabled;
    QLineEdit *OperatingSmsHours, *ServiceSmsNumber, *LongestDataConnection;
    std::array<QLineEdit*, 5> Numbers{};     // SupervisionNumber1..5
    std::array<QLineEdit*, 5> Substrings{};  // SupervisionSubstring1..5
    TUpDown* OperatingSmsHoursUpDown;
    TUpDown* LongestDataConnectionUpDown;
};
