// The contact editor on its own, driven with the mouse and keys as a user drives it.
#include "controls/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cTabControl.h"
#include "controls/cToolbar.h"
#include "controls/mdlCommDialog.h"
#include "editor/ItemListPage.h"
#include "editor/frmCntContact.h"
#include "editor/frmCntItemEditor.h"
#include "settings/mdlOptions.h"
#include "store/BookSchema.h"
#include "store/DateText.h"
#include "store/Journal.h"
#include "store/mdlMDB.h"
#include "support/GuiTestSupport.h"

#include <QComboBox>
#include <QImage>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QToolButton>
#include <QListWidget>
#include <QtTest>

using Rows = QList<QStringList>;

namespace {

template <typename T = QWidget>
T *child(const QWidget *parent, const char *name)
{
    T *w = parent->findChild<T *>(QLatin1String(name));
    if (!w)
        qWarning("no child %s", name);
    return w;
}

void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

// A contact editor shown as its opener shows it: new, or on contact 1.
struct Editor
{
    frmCntContact d;

    bool show(bool edit = false)
    {
        d.g_bEdit = edit;
        d.g_lContactID = 1;
        if (edit && !d.OpenContact())
            return false;
        d.show();
        return QTest::qWaitForWindowExposed(&d);
    }
    template <typename T = QWidget> T *w(const char *name) const { return child<T>(&d, name); }
    void type(const char *name, const QString &text) const { QTest::keyClicks(w(name), text); }
    void click(const char *name) const { ::click(w(name)); }
    QString text(const char *name) const { return w<QLineEdit>(name)->text(); }
    // Clicks the tab and gives its list page.
    cItemListPage *tab(const QString &caption) const
    {
        QTabBar *bar = d.Tabs()->Bar();
        for (int i = 0; i < bar->count(); ++i) {
            if (bar->tabText(i) == caption)
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
        }
        return caption == "Phones" ? d.PhonesPage() : caption == "Mails" ? d.MailsPage() : d.SitesPage();
    }
};

void clickRow(const cItemListPage *page, int row, bool twice = false)
{
    cGrid *g = page->Grid();
    const QPoint at = g->visualRect(g->model()->index(row - 1, 0)).center();
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
    // QTest's double-click is the second click only; the first comes before.
    if (twice)
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
}

void button(const cItemListPage *page, int index) { click(page->Toolbar()->Button(index)); }

Rows rowsOf(const cGrid *g)
{
    Rows rows;
    for (int r = 1; r <= g->Rows(); ++r)
        rows << QStringList{g->CellText(r, 1), g->CellText(r, 2)};
    return rows;
}

// Rows "1", "2", ... described "d1", "d2", ...
Rows numbered(const QString &order)
{
    Rows rows;
    for (const QChar c : order)
        rows << QStringList{QString(c), QStringLiteral("d") + c};
    return rows;
}

// The newest contact's columns joined by '|', "~" for a null.
QString stored(const QString &columns)
{
    QStringList parts;
    for (const QString &c : columns.split(QLatin1Char(',')))
        parts << QStringLiteral("ifnull(%1,'~')").arg(c);
    return QueryText(QStringLiteral("SELECT %1 FROM Contacts ORDER BY ContactID DESC LIMIT 1")
                         .arg(parts.join(QStringLiteral("||'|'||"))));
}

QString now() { return StoredDateTime(QDateTime::currentDateTime()); }

QString makePicture(const TempAppFolder &f, const QString &name)
{
    QImage img(60, 40, QImage::Format_RGB32);
    img.fill(Qt::red);
    img.save(f.file(name));
    return f.file(name);
}

QString notAPicture(const TempAppFolder &f)
{
    WriteFile(f.file(QStringLiteral("broken.jpg")), "this is no picture");
    return f.file(QStringLiteral("broken.jpg"));
}

const ContactRow kAnn = {{"First_Name", "Ann"}, {"Last_Name", "Lee"}, {"Company", "Acme"}, {"Address", "1 Main St"},
                         {"Category", "Friends"}, {"Phones", "555:*:home\r\n777:*:\r\n"}, {"Mails", "ann@x:*:w\r\n"},
                         {"Notes", "line 1\nline 2"}, {"Date_Registed", "2001-02-03 04:05:06"},
                         {"Picture", "/nowhere/ann.jpg"}};

} // namespace

class tst_contacteditor : public QObject
{
    Q_OBJECT

private slots:
    // The required name follows the tree's sort option.
    void nameCheck_data()
    {
        QTest::addColumn<bool>("byFirst");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("message");
        QTest::newRow("by first, first empty") << true << "" << "Lee" << "The 'first name' field is empty.";
        QTest::newRow("by first, first only") << true << "Ann" << "" << "";
        QTest::newRow("by last, last empty") << false << "Ann" << "" << "The 'last name' field is empty.";
        QTest::newRow("by last, last only") << false << "" << "Lee" << "";
    }
    void nameCheck()
    {
        QFETCH(bool, byFirst);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, message);
        GuiTempAppFolder f;
        OpenDb db;
        Options().OptSortByFirstName = byFirst;
        Editor e;
        QVERIFY(e.show());
        e.type("txtFirstName", first);
        e.type("txtLastName", last);
        MsgBox::QueueAnswers({QMessageBox::Ok});
        e.click("cmdOK");
        QCOMPARE(CountContacts(), message.isEmpty() ? 1 : 0);
        QCOMPARE(MsgBox::AskedTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(e.d.isVisible(), !message.isEmpty());
        if (!message.isEmpty())
            QCOMPARE(e.d.focusWidget(), e.w(byFirst ? "txtFirstName" : "txtLastName"));
    }

    // A new contact: every field written as typed, the date of the save, the
    // picture chosen for it. Line breaks and ":*:" typed in items neither add,
    // lose nor merge entries; the inline boxes keep their text, so Add twice
    // adds twice. No stray key ends the dialog; a second OK while the save is
    // told adds nothing.
    void newContact()
    {
        GuiTempAppFolder f;
        OpenDb db;
        Editor e;
        QVERIFY(e.show());
        e.type("txtFirstName", QStringLiteral(" O'Brien "));
        e.type("txtLastName", QStringLiteral("Lee"));
        e.type("cboCategory", QStringLiteral("Work"));
        e.type("txtCompany", QStringLiteral("Acme"));
        e.type("txtAddress", QStringLiteral("1 Main St"));
        e.type("txtNotes", QStringLiteral("line 1"));
        QTest::keyClick(e.w("txtNotes"), Qt::Key_Return);
        e.type("txtNotes", QStringLiteral("line 2"));
        e.tab(QStringLiteral("Phones"));
        e.type("txtPhoneItem", QStringLiteral("a:*:b"));
        e.type("txtPhoneDescription", QStringLiteral("c:*:d"));
        e.click("cmdAddPhones");
        e.click("cmdAddPhones");
        OnModal<frmCntItemEditor> mail([](frmCntItemEditor *dlg) {
            QTest::keyClicks(child(dlg, "txtItem"), QStringLiteral("a@x"));
            QTest::keyClicks(child(dlg, "txtDescription"), QStringLiteral("first"));
            QTest::keyClick(child(dlg, "txtDescription"), Qt::Key_Return);
            QTest::keyClicks(child(dlg, "txtDescription"), QStringLiteral("second"));
            click(child(dlg, "cmdOK"));
        });
        button(e.tab(QStringLiteral("Mails")), cItemListPage::BtnAdd);
        QVERIFY(mail.ran());
        const QString png = makePicture(f, QStringLiteral("face.png"));
        CommDialogForTests::SetNextOpenResult({png});
        e.click("lblAdd");
        const std::pair<const char *, Qt::Key> strayKeys[] = {
            {"txtLastName", Qt::Key_Escape}, {"txtLastName", Qt::Key_Return}, {"cboCategory", Qt::Key_Enter},
            {"cmdOK", Qt::Key_Return}};
        for (const auto &[target, key] : strayKeys) {
            e.w(target)->setFocus();
            QTest::keyClick(e.w(target), key);
        }
        QVERIFY(e.d.isVisible());
        QCOMPARE(CountContacts(), 0);

        QList<qint64> saved;
        bool openWhenSaved = false;
        connect(&e.d, &frmCntContact::contactSaved, this, [&](qint64 id) {
            saved << id;
            openWhenSaved = e.d.isVisible();
            if (saved.size() == 1)
                e.click("cmdOK");
        });
        const QString before = now();
        e.click("cmdOK");
        const QString after = now();
        QCOMPARE(CountContacts(), 1);
        QCOMPARE(saved, QList<qint64>{1});
        QVERIFY(openWhenSaved);
        QCOMPARE(e.d.result(), int(QDialog::Accepted));
        QCOMPARE(stored(QStringLiteral("First_Name,Last_Name,Company,Address,Category,Notes,Picture")),
                 QStringLiteral(" O'Brien |Lee|Acme|1 Main St|Work|line 1\nline 2|") + png);
        const QString date = stored(QStringLiteral("Date_Registed"));
        QVERIFY2(date >= before && date <= after, qPrintable(date));
        Editor again;
        QVERIFY(again.show(true));
        QCOMPARE(rowsOf(again.d.PhonesPage()->Grid()), (Rows{{"a:* :b", "c:* :d"}, {"a:* :b", "c:* :d"}}));
        QCOMPARE(rowsOf(again.d.MailsPage()->Grid()), (Rows{{"a@x", "first\nsecond"}}));
        // A field left empty is stored as empty text, never NULL ("~").
        QCOMPARE(stored(QStringLiteral("Websites")), QString());
    }

    // Only changed fields are written: the others keep their stored bytes
    // (8-bit text, text longer than a line edit's usual limit). Nothing
    // changed writes nothing, not even the date, and tells of no save.
    void editWritesOnlyWhatChanged_data()
    {
        QTest::addColumn<bool>("change");
        QTest::newRow("nothing changed") << false;
        QTest::newRow("company changed") << true;
    }
    void editWritesOnlyWhatChanged()
    {
        QFETCH(bool, change);
        GuiTempAppFolder f;
        SeedContacts({kAnn});
        OpenDb db;
        SharedDb()->exec(QStringLiteral("UPDATE Contacts SET Last_Name = CAST(x'4DFC6C6C6572' AS TEXT), "
                                        "First_Name = hex(zeroblob(50000)), Address = hex(zeroblob(20000))"));
        const QString others = QStringLiteral("First_Name,Last_Name,Address,Category,Phones,Mails,Websites,Notes,"
                                              "Picture,hex(Last_Name)");
        const QString kept = stored(others);
        Editor e;
        QVERIFY(e.show(true));
        QCOMPARE(e.text("txtFirstName").size(), 100000);
        QCOMPARE((QStringList{e.text("txtCompany"), e.w<QPlainTextEdit>("txtNotes")->toPlainText(),
                              e.d.CategoryBox()->currentText(), e.d.PhonesPage()->List(), e.d.PicturePath()}),
                 (QStringList{"Acme", "line 1\nline 2", "Friends", "555:*:home\r\n777:*:\r\n", "/nowhere/ann.jpg"}));
        QCOMPARE(e.d.PhonesPage()->Grid()->SelectedRow(), 1);
        if (change)
            e.type("txtCompany", QStringLiteral(" Ltd"));
        int saves = 0;
        connect(&e.d, &frmCntContact::contactSaved, this, [&saves](qint64 id) { saves += id == 1 ? 1 : 100; });
        const QString before = now();
        e.click("cmdOK");
        QVERIFY(e.d.result() == QDialog::Accepted && !e.d.g_bEdit); // the next opening is for a new contact
        QCOMPARE(saves, change ? 1 : 0);
        QCOMPARE(CountContacts(), 1);
        QCOMPARE(stored(others), kept);
        QCOMPARE(stored(QStringLiteral("Company")), change ? QStringLiteral("Acme Ltd") : QStringLiteral("Acme"));
        const QString date = stored(QStringLiteral("Date_Registed"));
        QVERIFY2(change ? date >= before : date == QLatin1String("2001-02-03 04:05:06"), qPrintable(date));
    }

    // The Advanced page lists the earlier versions, newest first; one brought
    // back fills the fields, and OK saves it as one more change.
    void history()
    {
        GuiTempAppFolder f;
        SeedContacts({kAnn});
        OpenDb db;
        BookSchema::Prepare(*SharedDb());
        for (const char *company : {"Beta", "Gamma"}) {
            Editor e;
            QVERIFY(e.show(true));
            e.w<QLineEdit>("txtCompany")->clear();
            e.type("txtCompany", QLatin1String(company));
            e.click("cmdOK");
        }
        Editor e;
        QVERIFY(e.show(true));
        e.tab("Advanced");
        auto *list = e.w<QListWidget>("lstHistory");
        QCOMPARE(list->count(), 2);
        QVERIFY(list->item(0)->text().contains("edit of Ann Lee"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QVERIFY(e.w<QPlainTextEdit>("txtVersion")->toPlainText().contains("Company: Acme\n"));
        e.click("cmdBringBack");
        QCOMPARE(e.text("txtCompany"), QStringLiteral("Acme"));
        e.click("cmdOK");
        QCOMPARE(stored("Company"), QStringLiteral("Acme"));
        QCOMPARE(Journal::History(*SharedDb(), 1).size(), 3);
        QCOMPARE(Journal::NextUndo(*SharedDb())->name, QStringLiteral("edit of Ann Lee"));
    }

    // What a card brought beyond the fields shows on the Advanced page; an edit
    // of it is saved (and undone) with the contact; a line that is no vCard line is refused.
    void keptLines()
    {
        GuiTempAppFolder f;
        SeedContacts({kAnn});
        OpenDb db;
        BookSchema::Prepare(*SharedDb());
        SharedDb()->exec("UPDATE ContactMeta SET Kept = 'BDAY:1980-02-29' || char(10) || 'NICKNAME:Annie'");
        Editor e;
        QVERIFY(e.show(true));
        e.tab("Advanced");
        auto *kept = e.w<QPlainTextEdit>("txtKept");
        QCOMPARE(kept->toPlainText(), QStringLiteral("BDAY:1980-02-29\nNICKNAME:Annie"));
        kept->setFocus();
        QTest::keyClick(kept, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(kept, Qt::Key_Return);
        QTest::keyClicks(kept, "no colon here");
        MsgBox::QueueAnswers({QMessageBox::Ok});
        e.click("cmdOK");
        QVERIFY(e.d.isVisible() && MsgBox::AskedTexts().last().startsWith("Line 3 of"));
        QTest::keyClick(kept, Qt::Key_Home);
        QTest::keyClicks(kept, "TITLE:");
        e.click("cmdOK");
        QCOMPARE(QueryText("SELECT Kept FROM ContactMeta WHERE ContactID = 1"),
                 QStringLiteral("BDAY:1980-02-29\nNICKNAME:Annie\nTITLE:no colon here"));
        Journal::Undo(*SharedDb());
        QCOMPARE(QueryText("SELECT Kept FROM ContactMeta WHERE ContactID = 1"),
                 QStringLiteral("BDAY:1980-02-29\nNICKNAME:Annie"));
    }

    // A contact removed between opening and OK, or a store failure: told,
    // nothing added, the dialog stays with everything typed.
    void saveFails_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QString>("sql");
        QTest::newRow("contact removed") << true << "DELETE FROM Contacts";
        QTest::newRow("store failure") << false << "DROP TABLE Contacts";
    }
    void saveFails()
    {
        QFETCH(bool, edit);
        QFETCH(QString, sql);
        GuiTempAppFolder f;
        SeedContacts({kAnn});
        OpenDb db;
        Editor e;
        QVERIFY(e.show(edit));
        e.type("txtLastName", QStringLiteral("Moss"));
        SharedDb()->exec(sql);
        MsgBox::QueueAnswers({QMessageBox::Ok});
        e.click("cmdOK");
        QCOMPARE(CountContacts(), 0);
        QCOMPARE(MsgBox::AskedTexts().size(), 1);
        QVERIFY(MsgBox::AskedTexts().constFirst().contains(QStringLiteral("could not be saved")));
        QVERIFY(e.d.isVisible());
        QCOMPARE(e.text("txtLastName"), QLatin1String(edit ? "LeeMoss" : "Moss"));
        if (edit) { // and the dialog does not turn to adding, nor can it be opened again
            QVERIFY(e.d.g_bEdit);
            Editor again;
            QVERIFY(!again.show(true));
            QVERIFY(again.d.OpenError().contains(QStringLiteral("no longer exists")));
        }
    }

    // The stored categories are offered once each, empty and null ones not.
    // Typing completes from them with the added tail selected; Backspace and
    // Delete keep the next change from completing.
    void categories_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("keys"); // '<' Backspace, '>' Delete
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selected");
        QTest::newRow("lower case") << "" << "f" << "Friends" << "riends";
        QTest::newRow("upper case") << "" << "W" << "Work" << "ork";
        QTest::newRow("no match") << "" << "x" << "x" << "";
        QTest::newRow("whole entry typed") << "Wor" << "K" << "WorK" << "";
        QTest::newRow("backspace removes the tail") << "" << "f<" << "F" << "";
        QTest::newRow("backspace, a letter") << "" << "f<r" << "Friends" << "iends";
        QTest::newRow("delete guards the next letter") << "" << ">f" << "f" << "";
    }
    void categories()
    {
        QFETCH(QString, start);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QString, selected);
        GuiTempAppFolder f;
        SeedContacts({{{"Category", "Friends"}}, {{"Category", ""}}, {}, {{"Category", "Work"}},
                      {{"Category", "Friends"}}});
        OpenDb db;
        frmCntContact d;
        QComboBox *cbo = d.CategoryBox();
        cbo->setEditText(start);
        cbo->lineEdit()->end(false);
        for (const QChar c : keys) {
            if (c == QLatin1Char('<') || c == QLatin1Char('>'))
                QTest::keyClick(cbo, c == QLatin1Char('<') ? Qt::Key_Backspace : Qt::Key_Delete);
            else
                QTest::keyClicks(cbo, QString(c));
        }
        QCOMPARE(cbo->currentText(), text);
        QCOMPARE(cbo->lineEdit()->selectedText(), selected);
        // "Friends" and "Work" once each; filling again drops nothing typed.
        d.SetCats();
        QCOMPARE(cbo->count(), 2);
        QCOMPARE(cbo->currentText(), text);
    }

    // The page toolbar on a selected row (Delete asks first); first row up and
    // last row down do nothing; on an empty grid no button opens or asks anything.
    void listButtons_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("selectedAfter");
        using P = cItemListPage;
        QTest::newRow("row 3 up") << "123" << 3 << int(P::BtnMoveUp) << "132" << 2;
        QTest::newRow("row 1 down") << "123" << 1 << int(P::BtnMoveDown) << "213" << 2;
        QTest::newRow("last row down") << "123" << 3 << int(P::BtnMoveDown) << "123" << 3;
        QTest::newRow("first row up") << "123" << 1 << int(P::BtnMoveUp) << "123" << 1;
        QTest::newRow("delete, yes") << "123" << 2 << int(P::BtnDelete) << "13" << 2;
        QTest::newRow("delete, no") << "123" << 2 << int(P::BtnDelete) << "123" << 2;
        for (int b : {P::BtnEdit, P::BtnDelete, P::BtnMoveUp, P::BtnMoveDown})
            QTest::addRow("empty grid, button %d", b) << "" << 0 << b << "" << 0;
    }
    void listButtons()
    {
        QFETCH(QString, before);
        QFETCH(int, selected);
        QFETCH(int, button);
        QFETCH(QString, after);
        QFETCH(int, selectedAfter);
        GuiTempAppFolder f;
        Editor e;
        QVERIFY(e.show());
        cItemListPage *page = e.tab(QStringLiteral("Sites"));
        for (const QStringList &r : numbered(before))
            frmCntContact::AddGridItem(page->Grid(), r.at(0), r.at(1));
        if (selected)
            clickRow(page, selected);
        MsgBox::QueueAnswers({after != before ? QMessageBox::Yes : QMessageBox::No}); // for Delete
        OnModal<QDialog> none([](QDialog *dlg) { dlg->reject(); }, 50);
        ::button(page, button);
        QVERIFY(!none.ran());
        QCOMPARE(rowsOf(page->Grid()), numbered(after));
        QCOMPARE(page->Grid()->SelectedRow(), selectedAfter);
        const QStringList asked = MsgBox::AskedTexts();
        QCOMPARE(asked.size(), button == cItemListPage::BtnDelete && selected ? 1 : 0);
        QVERIFY(asked.isEmpty() || asked.constFirst().contains(QStringLiteral(" 2 "))); // names the selected item
    }

    // Add opens the item editor, prompting for what the page lists, with
    // empty boxes; no stray key ends it; OK appends the entry (a description
    // of two lines too) and the selection stays. A double-click edits a row:
    // the editor shows its texts and OK writes them back, empty ones too.
    // Cancel changes nothing.
    void itemEditor_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("prompt");
        QTest::newRow("phones") << "Phones" << "Phone number:";
        QTest::newRow("mails") << "Mails" << "E-Mail address:";
        QTest::newRow("sites") << "Sites" << "Web-site address:";
    }
    void itemEditor()
    {
        QFETCH(QString, tab);
        QFETCH(QString, prompt);
        GuiTempAppFolder f;
        Editor e;
        QVERIFY(e.show());
        cItemListPage *page = e.tab(tab);
        frmCntContact::AddGridItem(page->Grid(), QStringLiteral("old"), QString());
        clickRow(page, 1);
        QString shown;
        bool warned = false;
        OnModal<frmCntItemEditor> add([&](frmCntItemEditor *dlg) {
            QWidget *item = child(dlg, "txtItem");
            QWidget *description = child(dlg, "txtDescription");
            shown = child<QLabel>(dlg, "lblItem")->text() + QLatin1Char('|') + dlg->ItemBox()->text() +
                    QLatin1Char('|') + dlg->DescriptionBox()->toPlainText();
            QTest::keyClicks(item, QStringLiteral("new"));
            // Not a number that can be dialled: a warning, and it is kept all the same.
            const auto *warning = dlg->findChild<QAction *>("actPhoneWarning");
            warned = warning && warning->isVisible() && !dlg->ItemBox()->toolTip().isEmpty();
            QTest::keyClick(item, Qt::Key_Escape);
            QTest::keyClick(item, Qt::Key_Return);
            QTest::keyClicks(description, QStringLiteral("line one"));
            QTest::keyClick(description, Qt::Key_Return);
            QTest::keyClicks(description, QStringLiteral("line two"));
            click(child(dlg, "cmdOK"));
        });
        button(page, cItemListPage::BtnAdd);
        QVERIFY(add.ran());
        QCOMPARE(warned, tab == QLatin1String("Phones"));
        QCOMPARE(shown, prompt + QStringLiteral("||"));
        QCOMPARE(rowsOf(page->Grid()), (Rows{{"old", ""}, {"new", "line one\nline two"}}));
        QCOMPARE(page->Grid()->SelectedRow(), 1);

        OnModal<frmCntItemEditor> clear([&](frmCntItemEditor *dlg) {
            shown = dlg->ItemBox()->text() + QLatin1Char('|') + dlg->DescriptionBox()->toPlainText();
            for (QWidget *box : {child(dlg, "txtItem"), child(dlg, "txtDescription")}) {
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(box, Qt::Key_Delete);
            }
            click(child(dlg, "cmdOK"));
        });
        clickRow(page, 2, true);
        QVERIFY(clear.ran());
        QCOMPARE(shown, QStringLiteral("new|line one\nline two"));
        const Rows expected{{"old", ""}, {"", ""}};
        QCOMPARE(rowsOf(page->Grid()), expected);

        for (int index : {cItemListPage::BtnAdd, cItemListPage::BtnEdit}) {
            clickRow(page, 1);
            OnModal<frmCntItemEditor> cancel([](frmCntItemEditor *dlg) {
                QTest::keyClicks(child(dlg, "txtItem"), QStringLiteral("changed"));
                click(child(dlg, "cmdCancel"));
            });
            button(page, index);
            QVERIFY(cancel.ran());
            QCOMPARE(rowsOf(page->Grid()), expected);
        }
        // The page's own box: the sign comes and goes as the number is typed.
        if (tab == QLatin1String("Phones")) {
            auto *box = static_cast<QLineEdit *>(e.w("txtPhoneItem"));
            const auto *warning = box->findChild<QAction *>("actPhoneWarning");
            QTest::keyClicks(box, QStringLiteral("12"));
            QVERIFY(warning && warning->isVisible());
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(box, QStringLiteral("+1 212 555 0100"));
            QVERIFY(!warning->isVisible() && box->toolTip().isEmpty());
        }
    }

    // A stored path stays whether its file is there, gone or unreadable.
    // "Add", the picture and the placeholder choose a file (the first of
    // several; not a picture: refused, the old one kept); Remove asks first,
    // when there is a picture, and answers Space. The store changes only with
    // the picture.
    void picture_data()
    {
        QTest::addColumn<QString>("kind");     // the stored file: "present", "missing", "broken", "" none
        QTest::addColumn<QString>("action");   // the link clicked, then the files chosen
        QTest::addColumn<QString>("expected"); // "stored", "other" or ""
        QTest::addColumn<int>("asked");
        QTest::newRow("present") << "present" << "" << "stored" << 0;
        QTest::newRow("file gone") << "missing" << "" << "stored" << 0;
        QTest::newRow("unreadable") << "broken" << "" << "stored" << 0;
        QTest::newRow("Add") << "missing" << "lblAdd other" << "other" << 0;
        QTest::newRow("the picture") << "present" << "Image1 other" << "other" << 0;
        QTest::newRow("the placeholder") << "" << "lblClickToAddPic other" << "other" << 0;
        QTest::newRow("several files: the first") << "present" << "lblAdd other broken" << "other" << 0;
        QTest::newRow("cancelled") << "present" << "lblAdd" << "stored" << 0;
        QTest::newRow("not a picture") << "present" << "lblAdd broken" << "stored" << 1;
        QTest::newRow("removed") << "present" << "lblRemove" << "" << 1;
        QTest::newRow("remove answered no") << "present" << "lblRemove" << "stored" << 1;
        QTest::newRow("nothing to remove") << "" << "lblRemove" << "" << 0;
    }
    void picture()
    {
        QFETCH(QString, kind);
        QFETCH(QString, action);
        QFETCH(QString, expected);
        QFETCH(int, asked);
        GuiTempAppFolder f;
        const QString path = kind == QLatin1String("present")   ? makePicture(f, QStringLiteral("ann.bmp"))
                             : kind == QLatin1String("broken")  ? notAPicture(f)
                             : kind == QLatin1String("missing") ? f.file(QStringLiteral("gone.jpg"))
                                                                : QString();
        const QString other = makePicture(f, QStringLiteral("other.png"));
        SeedContacts({{{"Last_Name", "Lee"}, {"Picture", path}}});
        OpenDb db;
        Editor e;
        QVERIFY(e.show(true));
        QCOMPARE(e.d.PicturePath(), path);
        const bool present = kind == QLatin1String("present");
        QCOMPARE(e.d.PictureShown(), present);
        QCOMPARE(e.w("lblClickToAddPic")->isVisible(), !present);

        const QStringList words = action.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QStringList files;
        for (const QString &word : words.mid(1))
            files << (word == QLatin1String("other") ? other : notAPicture(f));
        CommDialogForTests::SetNextOpenResult(files);
        MsgBox::QueueAnswers({expected.isEmpty() ? QMessageBox::Yes : QMessageBox::No, QMessageBox::Ok}); // + spare
        if (words.value(0) == QLatin1String("lblRemove")) {
            e.w("lblRemove")->setFocus();
            QTest::keyClick(e.w("lblRemove"), Qt::Key_Space);
        } else if (!words.isEmpty()) {
            e.click(qPrintable(words.constFirst()));
            QCOMPARE(CommDialogForTests::LastOpenRequest().Filter, frmCntContact::PictureFilter());
        }
        const QString want = expected == QLatin1String("stored") ? path : expected.isEmpty() ? QString() : other;
        const bool shown = want == other || (present && want == path);
        QCOMPARE(MsgBox::AskedTexts().size(), asked);
        QCOMPARE(e.d.PicturePath(), want);
        QCOMPARE(e.d.PictureShown(), shown);
        QCOMPARE(e.w("lblClickToAddPic")->isVisible(), !shown);
        e.type("txtCompany", QStringLiteral("Acme")); // so that OK writes the contact
        e.click("cmdOK");
        QCOMPARE(QueryText(QStringLiteral("SELECT ifnull(Picture,'') FROM Contacts WHERE Company='Acme'")), want);
    }
};

QTEST_MAIN(tst_contacteditor)
#include "tst_contacteditor.moc"
