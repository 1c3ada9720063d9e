// The keyboard works like the mouse: Tab walks every page as it is laid out,
// and every label, check box and button has an Alt+letter of its own.
#include "Appsettings.h"
#include "Keyboard.h"
#include "Language.h"
#include "Routingtables.h"
#include "apptest.h"
#include "fitcheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <set>

namespace {
struct Keyboard : AppFixture {
    void SetUp() override
    {
        StartApp();
        main->resize(TAppSettings::DesignWidth, TAppSettings::DesignHeight);
        main->show();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    }

    static bool Stop(const QWidget* w)
    {
        return !w->focusProxy() && (w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled();
    }
    static QRect Place(const QWidget* w, const QWidget* page) { return QRect(w->mapTo(page, QPoint()), w->size()); }
    // A group box and all in it count as one block of the layout; other widgets stand alone.
    static QWidget* Block(QWidget* w, const QWidget* page)
    {
        for (QWidget* p = w->parentWidget(); p && p != page; p = p->parentWidget())
            if (auto* g = qobject_cast<QGroupBox*>(p)) return g;
        return w;
    }
    // Going on means to the right of where the focus was, or not above it.
    static bool Follows(const QRect& from, const QRect& to, bool block)
    {
        const int slack = 2;
        return to.left() >= from.right() - slack ||
               (block ? to.top() >= from.bottom() - slack : to.top() >= from.top() - slack);
    }
    static QString Name(const QWidget* w)
    {
        return w->objectName().isEmpty()
                   ? QString("%1 in %2").arg(w->metaObject()->className(), w->parentWidget()->objectName())
                   : w->objectName();
    }

    // The widgets Tab reaches from the page's first one, until the focus leaves the page.
    std::vector<QWidget*> Walk(QWidget* page)
    {
        QWidget* first = page->nextInFocusChain();
        while (first != page && !(page->isAncestorOf(first) && Stop(first))) first = first->nextInFocusChain();
        std::vector<QWidget*> walked;
        if (first == page) return walked;
        first->setFocus(Qt::TabFocusReason);
        for (QWidget* w = QApplication::focusWidget(); w && page->isAncestorOf(w) && walked.size() < 300;
             w = QApplication::focusWidget()) {
            if (!walked.empty() && w == walked.front()) break;
            walked.push_back(w);
            QTest::keyClick(w, Qt::Key_Tab);
        }
        return walked;
    }
};
}  // namespace

TEST_F(Keyboard, TabWalksEveryPageColumnByColumn)
{
    for (const char* id : {"Eng", "Ger"}) {
        main->LanguageButtonClick(id);
        for (int index = 0; index < 7; ++index) {
            main->SelectPage(index);
            QWidget* page = main->CurrentPage();
            ForEveryTab(page, [&](const QString& path) {
                Settle();
                const std::string where = std::string(id) + " page " + std::to_string(index) + path.toStdString();
                const std::vector<QWidget*> walked = Walk(page);
                std::set<QWidget*> stops;
                for (QWidget* w : page->findChildren<QWidget*>())
                    if (Stop(w)) stops.insert(w);
                QStringList order;
                for (QWidget* w : walked) order << Name(w);
                for (QWidget* w : stops)
                    EXPECT_TRUE(std::count(walked.begin(), walked.end(), w) == 1)
                        << where << ": Tab reaches " << Name(w).toStdString()
                        << " not once: " << order.join(' ').toStdString();
                std::set<QWidget*> left;
                for (size_t i = 1; i < walked.size(); ++i) {
                    QWidget* a = walked[i - 1];
                    QWidget* b = walked[i];
                    QWidget* blockA = Block(a, page);
                    QWidget* blockB = Block(b, page);
                    if (blockA == blockB) {
                        EXPECT_TRUE(Follows(Place(a, page), Place(b, page), false))
                            << where << ": from " << Name(a).toStdString() << " back to " << Name(b).toStdString();
                        continue;
                    }
                    left.insert(blockA);
                    EXPECT_FALSE(left.count(blockB)) << where << ": back into " << Name(blockB).toStdString();
                    EXPECT_TRUE(Follows(Place(blockA, page), Place(blockB, page), true))
                        << where << ": from " << Name(blockA).toStdString() << " back to "
                        << Name(blockB).toStdString();
                }
            });
        }
    }
}

TEST_F(Keyboard, EveryLabelledControlHasAMnemonicOfItsOwnInEveryLanguage)
{
    for (int lang = 0; lang < Language().LanguageCount(); ++lang) {
        main->SetLanguage(lang);
        QString menus;
        for (const QAction* a : main->menuBar()->actions()) menus += MnemonicKey(a->text());
        for (int index = 0; index < 7; ++index) {
            main->SelectPage(index);
            QWidget* page = main->CurrentPage();
            ForEveryTab(page, [&](const QString& path) {
                const std::string where =
                    Language().Language(lang).Id.toStdString() + " page " + std::to_string(index) + path.toStdString();
                std::map<QChar, QString> taken;
                for (QWidget* w : page->findChildren<QWidget*>()) {
                    if (!w->isVisible()) continue;
                    QString text;
                    if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy()) {
                        const QWidget* field = l->buddy();
                        while (field->focusProxy()) field = field->focusProxy();
                        const bool takesFocus = field->focusPolicy() & Qt::TabFocus;
                        // A label on the box around a field (an edit with its arrows) names nothing Alt reaches.
                        EXPECT_TRUE(takesFocus || !field->findChild<QLineEdit*>())
                            << where << ": " << l->text().toStdString() << " names the box around its field";
                        if (takesFocus) text = l->text();
                    } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w) ||
                               qobject_cast<QRadioButton*>(w))
                        text = static_cast<QAbstractButton*>(w)->text();
                    if (text.isEmpty()) continue;
                    const QChar key = MnemonicKey(text);
                    if (key.isNull()) {
                        ADD_FAILURE() << where << ": no mnemonic in " << text.toStdString();
                        continue;
                    }
                    EXPECT_FALSE(menus.contains(key))
                        << where << ": " << text.toStdString() << " takes a menu's letter";
                    EXPECT_FALSE(taken.count(key)) << where << ": " << text.toStdString() << " and "
                                                   << taken[key].toStdString() << " share a letter";
                    taken[key] = text;
                }
            });
        }
    }
}

TEST_F(Keyboard, ALanguageSwitchKeepsThePagesLettersClearOfTheMenus)
{
    const int languages = Language().LanguageCount();
    for (int lang = 0; lang < languages; ++lang) {
        for (int index = 0; index < 7; ++index) {
            main->SetLanguage((lang + 1) % languages);
            main->SelectPage(index);
            main->SetLanguage(lang);  // the shown page is loaded again in the new language
            QString menus;
            for (const QAction* a : main->menuBar()->actions()) menus += MnemonicKey(a->text());
            for (const QLabel* l : main->CurrentPage()->findChildren<QLabel*>()) {
                const QChar key = MnemonicKey(l->text());
                EXPECT_TRUE(key.isNull() || !l->isVisible() || !menus.contains(key))
                    << Language().Language(lang).Id.toStdString() << " page " << index << ": "
                    << l->text().toStdString();
            }
        }
    }
}

TEST_F(Keyboard, AltAndTheLetterGoToTheField)
{
    main->LanguageButtonClick("Pol");
    for (int index : {0, 1, 3}) {
        main->SelectPage(index);
        QWidget* page = main->CurrentPage();
        ForEveryTab(page, [&](const QString& path) {
            Settle();
            int tried = 0;
            for (QLabel* l : page->findChildren<QLabel*>()) {
                if (!l->isVisible() || !l->buddy() || MnemonicKey(l->text()).isNull()) continue;
                QWidget* field = l->buddy();
                while (field->focusProxy()) field = field->focusProxy();
                if (!field->isEnabled()) continue;
                QTest::keyClick(main.get(), Qt::Key(MnemonicKey(l->text()).unicode()), Qt::AltModifier);
                EXPECT_EQ(QApplication::focusWidget(), field)
                    << "page " << index << path.toStdString() << ": " << l->text().toStdString();
                ++tried;
            }
            EXPECT_GT(tried, 0);
        });
    }
}
