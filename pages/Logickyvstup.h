#pragma once
#include "Dform.h"

class TFLogickyVstup : public TFDForm {
    Q_OBJECT
public:
    explicit TFLogickyVstup(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
