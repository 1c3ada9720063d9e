#pragma once
#include "Dform.h"

class TFSmerovaciTabulka : public TFDForm {
    Q_OBJECT
public:
    explicit TFSmerovaciTabulka(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
