#include "Progress.h"

#include "Terminal.h"
#include "Globals.h"
#include "Language.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TFProgress::TFProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Message(new QLabel(this)),
      Bar(new QProgressBar(this)),
      CancelButton(new QPushButton(this))
{
    setObjectName("TFProgress");
    setWindowTitle(Language().Text(0));
    // While an operation runs, the rest of the program waits for it.
    setWindowModality(Qt::ApplicationModal);
    Message->setObjectName("Message");
    Message->setAlignment(Qt::AlignCenter);
    Message->setWordWrap(true);
    Message->setMinimumSize(249, 49);
    Bar->setObjectName("Bar");
    Bar->setRange(0, 100);
    CancelButton->setObjectName("CancelButton");
    CancelButton->setText(Language().Text(2));
    CancelButton->setVisible(false);
    auto* l = new QVBoxLayout(this);
    l->addWidget(Message);
    l->addWidget(Bar);
    l->addWidget(CancelButton, 0, Qt::AlignHCenter);
    // A fixed size: nothing to maximise or drag larger.
    l->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(267);
    connect(CancelButton, &QPushButton::clicked, this, &TFProgress::CancelClick);
}

void TFProgress::CancelClick()
{
    Terminal().m_Abort = true;
    Cancelled = true;
    // A block in flight is finished first; the operation says so, and another
    // press would change nothing.
    if (Terminal().BlockInFlight()) CancelButton->setEnabled(false);
}

void TFProgress::reject()
{
    if (CancelButton->isVisible()) CancelClick();
}

bool TFProgress::OwnDialogUp() const
{
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != this) return true;
    const QWidget* active = QApplication::activeWindow();
    return active && active != this && qobject_cast<const QDialog*>(active);
}

void TFProgress::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Another window came to the front: the operation's window goes back on top,
    // but never over a question or dialog of the program itself, nor while the
    // window set it aside for one.
    if (event->type() == QEvent::ActivationChange && Active && !isActiveWindow() && !OwnDialogUp()) {
        QTimer::singleShot(0, this, [this] {
            if (!Active || !isVisible() || isActiveWindow() || OwnDialogUp()) return;
            raise();
            activateWindow();
        });
    }
}

void TFProgress::SetNotice(const QString& text)
{
    if (!Notice) {
        Notice = new QLabel(this);
        Notice->setObjectName("Notice");
        Notice->setAlignment(Qt::AlignCenter);
        Notice->setWordWrap(true);
        Notice->setMinimumWidth(249);
        // Between the bar and Cancel: what the bar alone does not say.
        auto* l = static_cast<QVBoxLayout*>(layout());
        l->insertWidget(l->indexOf(Bar) + 1, Notice);
    }
    Notice->setText(text);
    Notice->setVisible(!text.isEmpty());
}
