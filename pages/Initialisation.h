// Initialisation page: puts groups of settings back to their defaults.
#pragma once
#include "Pageform.h"

#include <array>

class QPushButton;

class TFInitialisation : public TFPage {
    Q_OBJECT
public:
    explicit TFInitialisation(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override {}
    // Groups 0..6 as the buttons list them; -1 is every parameter.
    void ResetGroup(int group);
    void ButtonClick(int group);
    static const std::vector<const char*>& GroupKeys(int group);

    // ResetFxsButton .. ResetSmsInputButton as the groups, then ResetAllButton.
    std::array<QPushButton*, 8> Buttons{};
};
