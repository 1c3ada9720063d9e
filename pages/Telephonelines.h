// Telephone lines page: the FXS and FXO ports, their tones and signalling.
#pragma once
#include "Pageform.h"

class QTabWidget;

class TFTelephoneLines : public TFPage {
    Q_OBJECT
public:
    explicit TFTelephoneLines(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    // One tone made of one or two frequencies.
    struct TTwoTone {
        QCheckBox* box;
        QLineEdit* first;
        QLineEdit* second;
        TUpDown* secondUpDown;
        QLabel* secondLabel;
    };
    void TwoToneClick(const TTwoTone& t);   // CheckBox4Click, CheckBox5Click, ...
    void FirstChange(const TTwoTone& t);    // Edit8Change, Edit10Change, ...
    bool UpDown14ChangingEx(int newValue, int direction);

    QTabWidget* PageControl1;
    QWidget *TabSheet1, *TabSheet2;
    QTabWidget *PageControl2, *PageControl3;
    QComboBox *ComboBox1, *ComboBox2, *ComboBox3, *ComboBox4, *ComboBox5, *ComboBox6, *ComboBox7, *ComboBox8,
        *ComboBox9, *ComboBox10, *ComboBox11, *ComboBox12, *ComboBox13, *ComboBox14;
    QSlider *TrackBar1, *TrackBar2, *TrackBar3, *TrackBar4;
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5, *CheckBox6, *CheckBox7, *CheckBox8, *CheckBox9;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7, *Edit8, *Edit9, *Edit10, *Edit11, *Edit12, *Edit13,
        *Edit14, *Edit15, *Edit16, *Edit17, *Edit18, *Edit19, *Edit20, *Edit21, *Edit22, *Edit23, *Edit24, *Edit25, *Edit26;
    TUpDown *UpDown1, *UpDown2, *UpDown3, *UpDown4, *UpDown5, *UpDown6, *UpDown7, *UpDown8, *UpDown9, *UpDown10,
        *UpDown11, *UpDown12, *UpDown13, *UpDown14, *UpDown15, *UpDown16, *UpDown17, *UpDown18, *UpDown19, *UpDown20,
        *UpDown21, *UpDown22;
    std::vector<TTwoTone> m_Tones;  // in the order CheckBox4, 5, 7, 8, 9

private:
    bool m_Spinning = false;  // re-entrancy guard of the permanent-tone spinner
};
