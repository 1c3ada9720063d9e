#pragma once
#include "Dform.h"

class TFSLICParametry : public TFDForm {
    Q_OBJECT
public:
    explicit TFSLICParametry(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;
};
