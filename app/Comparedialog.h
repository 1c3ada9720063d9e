// The comparison dialog: the configuration in the window against the gateway
// (read without touching the window's), a configuration file or the defaults;
// only what differs is listed, as the pages show it. From a gateway comparison
// the ticked differences can be written into the gateway's own configuration.
#pragma once
#include "Captions.h"

#include <QDialog>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CParameters;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class TFMain;

class TFCompareDialog : public QDialog {
    Q_OBJECT
public:
    enum class TSource { None, Gateway, File, Defaults };

    TFCompareDialog(TFMain& main, QWidget* parent = nullptr);
    ~TFCompareDialog() override;
    // The window's command: takes the shown page's values, then shows the dialog.
    void Run();
    // Compares with a source (a file is asked for, or the given one is taken).
    bool CompareWith(TSource source, const QString& file = {});
    void CompareClick();  // compare again with the chosen source
    void WriteClick();    // write the ticked values
    void SetAllTicks(bool ticked);
    TSource Source() const { return m_Source; }
    int DifferenceCount() const;
    const CCaptions& Captions();

    QGroupBox* SourceGroup;
    QRadioButton *GatewaySource, *FileSource, *DefaultsSource;
    QPushButton* CompareButton;
    QLabel* Counts;  // how many differ
    QTreeWidget* Differences;
    QPushButton *TickAllButton, *UntickAllButton;
    QPushButton* WriteButton;  // writes the ticked values
    QPushButton* CloseButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void UpdateControls();

    TFMain& m_Main;
    std::unique_ptr<CCaptions> m_Captions;
    TSource m_Source = TSource::None;
    std::unique_ptr<CParameters> m_Other;
    std::vector<uint8_t> m_Image;                      // the gateway's image the comparison was made with
    QString m_File;                                    // the file compared with
    std::set<std::pair<std::string, int>> m_Unticked;  // rows the user left out of a write
};
