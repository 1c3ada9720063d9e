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

    QLabel *Label5, *Label6, *Label7, *Label8;
    QCheckBox* CheckBox1;
    QLineEdit *Edit1, *Edit2, *Edit13;
    std::array<QLineEdit*, 5> Numbers{};     // Edit3..Edit7
    std::array<QLineEdit*, 5> Substrings{};  // Edit8..Edit12
    TUpDown* UpDown1;
    TUpDown* UpDown7;
};
