#pragma once
#include "Dform.h"

class TFZabezpeceni : public TFDForm {
    Q_OBJECT
public:
    explicit TFZabezpeceni(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
