#pragma once
#include "Dform.h"

class TFGSMSIM : public TFDForm {
    Q_OBJECT
public:
    explicit TFGSMSIM(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
