#pragma once
#include "Dform.h"

class TFInicializace : public TFDForm {
    Q_OBJECT
public:
    explicit TFInicializace(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
