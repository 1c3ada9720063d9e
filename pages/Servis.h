#pragma once
#include "Dform.h"

class TFServis : public TFDForm {
    Q_OBJECT
public:
    explicit TFServis(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
