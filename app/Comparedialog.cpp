#include "Comparedialog.h"

#include "Pagecaptions.h"

#include "Bindings.h"
#include "Catalogue.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Pageform.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Mainwindow.h"
#include "Parameters.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const int kTextTitle = 387, kTextWith = 388, kTextGateway = 389, kTextFile = 390, kTextDefaults = 391;
const int kTextCompare = 392, kTextSetting = 393, kTextRow = 394, kTextWindow = 395, kTextInGateway = 396,
          kTextInFile = 397, kTextDefault = 398, kTextCounts = 399, kTextWrite = 400, kTextSame = 414,
          kTextTickAll = 415, kTextUntickAll = 416;
const int kTextList = 572, kTextComparedFile = 573;
const int kKeyRole = Qt::UserRole, kIndexRole = Qt::UserRole + 1;
}  // namespace

TFCompareDialog::TFCompareDialog(TFMain& main, QWidget* parent)
    : QDialog(parent),
      SourceGroup(new QGroupBox(this)),
      GatewaySource(new QRadioButton(SourceGroup)),
      FileSource(new QRadioButton(SourceGroup)),
      DefaultsSource(new QRadioButton(SourceGroup)),
      CompareButton(new QPushButton(SourceGroup)),
      Counts(new QLabel(this)),
      Differences(new QTreeWidget(this)),
      TickAllButton(new QPushButton(this)),
      UntickAllButton(new QPushButton(this)),
      WriteButton(new QPushButton(this)),
      CloseButton(new QPushButton(this)),
      m_Main(main)
{
    setObjectName("TFCompareDialog");
    SetTag(this, kTextTitle);
    SetTag(SourceGroup, kTextWith);
    SetTag(GatewaySource, kTextGateway);
    SetTag(FileSource, kTextFile);
    SetTag(DefaultsSource, kTextDefaults);
    SetTag(CompareButton, kTextCompare);
    SetTag(TickAllButton, kTextTickAll);
    SetTag(UntickAllButton, kTextUntickAll);
    SetTag(WriteButton, kTextWrite);
    SetTag(CloseButton, 3);
    GatewaySource->setChecked(true);
    Differences->setObjectName("Differences");
    Differences->setRootIsDecorated(false);
    Differences->setUniformRowHeights(true);
    Differences->setAlternatingRowColors(true);
    Differences->setColumnCount(4);
    Differences->header()->setStretchLastSection(false);
    Differences->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 4; ++c) Differences->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    Counts->setObjectName("Counts");

    auto* sources = new QHBoxLayout(SourceGroup);
    sources->addWidget(GatewaySource);
    sources->addWidget(FileSource);
    sources->addWidget(DefaultsSource);
    sources->addStretch();
    sources->addWidget(CompareButton);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(TickAllButton);
    buttons->addWidget(UntickAllButton);
    buttons->addStretch();
    buttons->addWidget(WriteButton);
    buttons->addWidget(CloseButton);
    auto* l = new QVBoxLayout(this);
    l->addWidget(SourceGroup);
    l->addWidget(Counts);
    l->addWidget(Differences, 1);
    l->addLayout(buttons);
    resize(820, 520);

    connect(CompareButton, &QPushButton::clicked, this, &TFCompareDialog::CompareClick);
    connect(TickAllButton, &QPushButton::clicked, this, [this] { SetAllTicks(true); });
    connect(UntickAllButton, &QPushButton::clicked, this, [this] { SetAllTicks(false); });
    connect(WriteButton, &QPushButton::clicked, this, &TFCompareDialog::WriteClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(Differences, &QTreeWidget::itemChanged, this, [this] { UpdateControls(); });
    UpdateControls();
}

TFCompareDialog::~TFCompareDialog() = default;

const CCaptions& TFCompareDialog::Captions()
{
    if (!m_Captions) {
        std::vector<TFPage*> pages;
        for (int i = 0; i < 7; ++i) pages.push_back(m_Main.Page(i));
        m_Captions = std::make_unique<CCaptions>(CaptionsFromPages(pages));
        // Reading the pages rebound their controls: give the shown page its own back.
        if (m_Main.CurrentPage()) m_Main.CurrentPage()->LoadFromParameters();
        else Bindings().ClearControls();
    }
    return *m_Captions;
}

void TFCompareDialog::Run()
{
    m_Main.StoreShownPage();
    Captions();
    // A comparison made earlier no longer says anything about the window; the
    // list is filled as the dialog shows.
    m_Source = TSource::None;
    m_Other.reset();
    CentreOn(this, &m_Main);
    exec();
}

void TFCompareDialog::showEvent(QShowEvent* event)
{
    TranslatePage(this);
    Differences->setAccessibleName(Language().Text(kTextList));
    Fill();
    QDialog::showEvent(event);
}

void TFCompareDialog::CompareClick()
{
    if (GatewaySource->isChecked()) CompareWith(TSource::Gateway);
    else if (FileSource->isChecked()) CompareWith(TSource::File);
    else CompareWith(TSource::Defaults);
}

bool TFCompareDialog::CompareWith(TSource source, const QString& file)
{
    auto other = std::make_unique<CParameters>();
    BuildCatalogue(*other);
    std::vector<uint8_t> image;
    QString path = file;
    switch (source) {
    case TSource::Gateway:
        if (!m_Main.m_Ops.ReadGateway(*other, image)) return false;
        break;
    case TSource::File:
        if (path.isEmpty()) path = m_Main.Prompts().OpenFile(this, Language().Text(128));
        if (path.isEmpty()) return false;
        if (!other->LoadFromFile(path.toLocal8Bit().toStdString())) {
            m_Main.Message(Substitute("%s\n'%s'", {Language().Text(130), QDir::toNativeSeparators(path)}),
                           TIcon::Error);
            return false;
        }
        break;
    case TSource::Defaults:
    case TSource::None: break;
    }
    m_Source = source;
    m_Other = std::move(other);
    m_Image = std::move(image);
    m_File = source == TSource::File ? path : QString();
    m_Unticked.clear();
    Fill();
    return true;
}

void TFCompareDialog::Fill()
{
    const bool gateway = m_Source == TSource::Gateway;
    // The PIN and the service password count only where a write would send them.
    std::set<std::string> secrets;
    if (gateway && m_Main.m_Ops.PinChanged) secrets.insert("PINVal");
    if (gateway && m_Main.m_Ops.PasswordChanged) secrets.insert("ServisPassw");
    const int other = gateway ? kTextInGateway : m_Source == TSource::File ? kTextInFile : kTextDefault;
    Differences->setHeaderLabels({Language().Text(kTextSetting), Language().Text(kTextRow),
                                  Language().Text(kTextWindow), Language().Text(other)});
    Differences->blockSignals(true);
    Differences->clear();
    if (m_Other && m_Source != TSource::None) {
        const TComparison result = CompareConfigurations(Parameters(), *m_Other, secrets);
        const CCaptions& captions = Captions();
        for (const TDifference& d : result.differences) {
            auto* item = new QTreeWidgetItem(Differences);
            item->setText(0, captions.Caption(d.key) + "  (" + QString::fromStdString(d.key) + ")");
            if (d.count > 1) item->setText(1, QString::number(d.index + 1));
            item->setText(2, captions.Show(d.key, d.mine));
            item->setText(3, captions.Show(d.key, d.other));
            item->setData(0, kKeyRole, QString::fromStdString(d.key));
            item->setData(0, kIndexRole, d.index);
            if (gateway) item->setCheckState(0, m_Unticked.count({d.key, d.index}) ? Qt::Unchecked : Qt::Checked);
        }
        QString counts = result.Same()
                             ? Language().Text(kTextSame)
                             : Substitute(Language().Text(kTextCounts),
                                          {QString::number(result.differences.size()), QString::number(result.equal)});
        if (!m_File.isEmpty())
            counts = Substitute(Language().Text(kTextComparedFile), {QDir::toNativeSeparators(m_File)}) + "\n" + counts;
        Counts->setText(counts);
    } else {
        Counts->clear();
    }
    Differences->blockSignals(false);
    UpdateControls();
}

int TFCompareDialog::DifferenceCount() const { return Differences->topLevelItemCount(); }

void TFCompareDialog::SetAllTicks(bool ticked)
{
    if (m_Source != TSource::Gateway) return;
    for (int i = 0; i < Differences->topLevelItemCount(); ++i)
        Differences->topLevelItem(i)->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    UpdateControls();
}

void TFCompareDialog::UpdateControls()
{
    const CGatewayOps& o = m_Main.m_Ops;
    const bool link = !o.IsModem || o.ModemConnected;
    GatewaySource->setEnabled(link);
    if (!link && GatewaySource->isChecked()) DefaultsSource->setChecked(true);
    bool ticked = false;
    for (int i = 0; i < Differences->topLevelItemCount() && !ticked; ++i)
        ticked = Differences->topLevelItem(i)->checkState(0) == Qt::Checked;
    const bool gateway = m_Source == TSource::Gateway;
    TickAllButton->setVisible(gateway);
    UntickAllButton->setVisible(gateway);
    WriteButton->setVisible(gateway);
    WriteButton->setEnabled(gateway && ticked && link);
}

void TFCompareDialog::WriteClick()
{
    if (m_Source != TSource::Gateway) return;
    std::vector<TSettingRef> chosen;
    for (int i = 0; i < Differences->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = Differences->topLevelItem(i);
        const TSettingRef ref{item->data(0, kKeyRole).toString().toStdString(), item->data(0, kIndexRole).toInt()};
        // What the user left out stays out of the next write too.
        if (item->checkState(0) == Qt::Checked) chosen.push_back(ref);
        else m_Unticked.insert({ref.key, ref.index});
    }
    if (chosen.empty()) return;
    std::vector<uint8_t> written;
    if (!m_Main.m_Ops.WriteSelected(Parameters(), chosen, m_Image, &written)) return;
    // The gateway now holds what was written and read back: compare with that.
    m_Image = written;
    m_Other->FromImage(m_Image.data());
    Fill();
}
